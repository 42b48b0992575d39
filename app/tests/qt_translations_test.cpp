#include "app/qt_translations.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QMenu>

#include <gtest/gtest.h>

#include <memory>

namespace {

// The test application installs the translations as the program does at start.
TEST(QtTranslations, QtsOwnTextsAreGermanWhateverTheLocale) {
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Abbrechen"));
  EXPECT_EQ(QCoreApplication::translate("QFileDialog", "File &name:"),
            QStringLiteral("Datei&name:"));

  // The context menu of an edit field.
  QLineEdit edit;
  edit.setText(QStringLiteral("Text"));
  std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
  QStringList items;
  for (QAction* action : menu->actions()) items << action->text();
  EXPECT_TRUE(items.contains(QStringLiteral("&Rückgängig\tCtrl+Z")) ||
              items.contains(QStringLiteral("&Rückgängig\tStrg+Z")))
      << items.join(QStringLiteral(" | ")).toStdString();
}

}  // namespace
