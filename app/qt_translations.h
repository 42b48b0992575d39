#pragma once
// German for the texts Qt itself shows (file dialog, its message boxes, the context menus of
// text fields, standard buttons), whatever the user's locale: the translations that come with
// Qt are installed on the application.

class QCoreApplication;

namespace app {

// Returns false when Qt's German translations are not installed; Qt then speaks English.
bool installQtGermanTranslations(QCoreApplication& application);

}  // namespace app
