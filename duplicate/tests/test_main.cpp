#include "tools/testsupport/window_tests.h"

int main(int argc, char** argv) { return tools::RunWindowTests(argc, argv); }
