#include "app/tests/browse_fixture.h"

#include <QCoreApplication>

namespace app_test {

void CreatePersonen(const std::string& dir, const std::vector<Person>& people) {
  engine::TTable t;
  t.SetDatabaseName(dir);
  t.SetTableName("PERSONEN.DB");
  t.FieldDefs().Add({"Name", engine::ftString, 20, false});
  t.FieldDefs().Add({"Vorname", engine::ftString, 20, false});
  t.FieldDefs().Add({"Geburtsdatum", engine::ftDate, 0, false});
  t.FieldDefs().Add({"Betrag", engine::ftCurrency, 0, false});
  t.FieldDefs().Add({"Anteil", engine::ftFloat, 0, false});
  t.FieldDefs().Add({"Aktiv", engine::ftBoolean, 0, false});
  t.FieldDefs().Add({"Notiz", engine::ftMemo, 10, false});
  t.IndexDefs().Add({"", "Name;Vorname", "", engine::ixPrimary});
  t.IndexDefs().Add({"NameDatum", "Name;Geburtsdatum", "Geburtsdatum", engine::ixDescending});
  t.CreateTable();
  t.Open();
  for (const Person& p : people) {
    t.Append();
    t.FieldByName("Name").SetAsString(p.name);
    t.FieldByName("Vorname").SetAsString(p.vorname);
    t.FieldByName("Geburtsdatum").SetAsString(p.geburtsdatum);
    t.FieldByName("Betrag").SetAsString(p.betrag);
    t.Post();
  }
  t.Close();
}

void BrowseTest::SetUp() {
  seam_ = std::make_unique<tools::ScopedDialogSeam>(dialogs_);
  form_ = std::make_unique<app::TFormMain>();
}

void BrowseTest::TearDown() {
  form_.reset();
  seam_.reset();
}

void BrowseTest::openPersonen(const std::vector<Person>& people) {
  CreatePersonen(dir_.Path(), people);
  dialogs_.queueOpenFileName(QString::fromStdString(dir_.Path() + "PERSONEN.DB"));
  button("ToolButtonOpen")->click();
  ASSERT_TRUE(table().Active());
}

void BrowseTest::openStandardPersonen() {
  openPersonen({{"Schulz", "Eva", "03.04.1990", "10"},
                {"Meier", "Karl", "01.02.2003", "13002"},
                {"Becker", "Anna", "", "1.34"},
                {"Meier", "Hans", "24.12.1970", ""}});
}

void BrowseTest::showActive() {
  form_->show();
  QApplication::setActiveWindow(form_.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
}

void BrowseTest::press(Qt::Key key, Qt::KeyboardModifiers modifiers) {
  // The key goes where the window's focus is, also when another window was active last.
  QWidget* target = form_->focusWidget();
  if (target == nullptr) target = form_.get();
  QTest::keyClick(target, key, modifiers);
  QCoreApplication::processEvents();
}

void BrowseTest::typeIntoCell(int row, int column, const QString& text) {
  grid()->setFocus();
  grid()->setCurrentIndex(form_->DSTabelle().index(row, column));
  grid()->edit(grid()->currentIndex());
  QWidget* editor = QApplication::focusWidget();
  ASSERT_NE(editor, nullptr);
  ASSERT_NE(editor, grid()) << "no cell editor opened";
  if (auto* line = qobject_cast<QLineEdit*>(editor)) line->selectAll();
  QTest::keyClicks(editor, text);
  QTest::keyClick(editor, Qt::Key_Return);
  QCoreApplication::processEvents();
}

QStringList BrowseTest::messageTexts() const {
  QStringList texts;
  for (const auto& call : dialogs_.messageCalls()) texts << call.text;
  return texts;
}

}  // namespace app_test
