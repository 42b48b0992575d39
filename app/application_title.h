#pragma once
// The application title: shown in the task bar, as the open dialog's title and at the start of
// the main window's caption. Set on the application object at start-up (its application name);
// the windows and the dialog seam read it back from there.

namespace app {

inline constexpr char kApplicationTitle[] = "Kerbolt 1.7 - Datenbankanalyse";

}  // namespace app
