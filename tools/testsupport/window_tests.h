#pragma once
// The main function of a window test binary: one QApplication for the whole run, German number
// formats (for which the tool's texts and menu comparisons are written) and the start-up
// settings, then every test.

namespace tools {

int RunWindowTests(int argc, char** argv);

}  // namespace tools
