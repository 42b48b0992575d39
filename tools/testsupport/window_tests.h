#pragma once
// The main function of a window test binary: one QApplication for the whole run, German number
// formats (for which the tool's texts and menu comparisons are written) and the start-up
// settings, then every test.

#include <QSize>

namespace tools {

// Without a display the tests run on the offscreen platform; `screen`, when given, is the size
// of its one screen (the default is the platform's own).
int RunWindowTests(int argc, char** argv, QSize screen = {});

}  // namespace tools
