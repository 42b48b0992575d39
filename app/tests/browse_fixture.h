#pragma once
// A main window over a small keyed table made for the test: PERSONEN.DB with the key
// (Name, Vorname), a birth date, an amount of money, a number, a logical field and a memo, and
// the secondary index NameDatum on (Name, Geburtsdatum) with the date descending. Keys are
// pressed on the window's focus widget, as a user's keys arrive.

#include <QApplication>
#include <QLineEdit>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/table_model.h"
#include "app/tests/find_control.h"
#include "app/unit_main.h"
#include "component/table.h"
#include "testsupport/temp_dir.h"
#include "tools/testsupport/scripted_dialogs.h"

namespace app_test {

struct Person {
  std::string name, vorname, geburtsdatum, betrag;
};

// Creates PERSONEN.DB in `dir` with the given records.
void CreatePersonen(const std::string& dir, const std::vector<Person>& people);

class BrowseTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Creates PERSONEN.DB with `people` and opens it through the open dialog.
  void openPersonen(const std::vector<Person>& people);
  // The standard four records, in key order: Becker Anna, Meier Hans, Meier Karl, Schulz Eva.
  void openStandardPersonen();

  template <typename Widget>
  Widget* control(const char* name) {
    return app_test::FindControl<Widget>(*form_, name);
  }
  QToolButton* button(const char* name) { return control<QToolButton>(name); }
  QLineEdit* searchText() { return control<QLineEdit>("EditSuchtext"); }
  QTableView* grid() { return control<QTableView>("DBGrid"); }
  engine::TTable& table() { return form_->TTabelle(); }
  std::string current(const char* field) { return table().FieldByName(field).AsString(); }

  // Shows the window and makes it the active one, so that keys reach its focus widget.
  void showActive();
  // Presses a key on the focus widget of the active window, then lets queued work run.
  void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
  // Opens the cell editor on (row, column) of the grid, types `text` and presses Enter.
  void typeIntoCell(int row, int column, const QString& text);
  // The texts of the message boxes asked so far.
  QStringList messageTexts() const;

  tools::ScriptedDialogs dialogs_;
  std::unique_ptr<tools::ScopedDialogSeam> seam_;
  testsupport::TempDir dir_;
  std::unique_ptr<app::TFormMain> form_;
};

}  // namespace app_test
