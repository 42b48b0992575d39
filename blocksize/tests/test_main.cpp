// The block-size dialog is made for screens from 1024 × 768 up: its tests run on one that size.
#include "tools/testsupport/window_tests.h"

int main(int argc, char** argv) { return tools::RunWindowTests(argc, argv, QSize(1024, 768)); }
