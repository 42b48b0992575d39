// A grid edit, an insert and a delete through the main window on a copy of a real keyed table
// with a secondary index, read back by the independent reader with its indexes checked.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/tests/browse_fixture.h"
#include "pxcheck/dump_text.h"
#include "pxcheck/fixtures.h"
#include "pxcheck/index_check.h"
#include "pxcheck/px_reader.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/table_dump_text.h"
#include "testsupport/table_files.h"

namespace {

namespace fixtures = testsupport::fixtures;

constexpr int kFirstName = 1;
constexpr int kLastName = 2;
constexpr int kCity = 5;
constexpr int kDateEntered = 9;

using GridRoundTrip = app_test::BrowseTest;

const std::vector<std::string>* rowWith(const pxcheck::Dump& dump, int column,
                                        const std::string& value) {
  for (const auto& row : dump.rows) {
    if (row.at(static_cast<size_t>(column)) == value) return &row;
  }
  return nullptr;
}

TEST_F(GridRoundTrip, EditInsertAndDeleteAreReadBackEqualWithConsistentIndexes) {
  SKIP_WITHOUT_FIXTURES();
  const std::string path = testsupport::CopyTable(fixtures::KeyedWithBlobs(), dir_.Path());
  dialogs_.queueOpenFileName(QString::fromStdString(path));
  button("ToolButtonOpen")->click();
  ASSERT_TRUE(table().Active());
  const int records = table().RecordCount();
  showActive();
  button("ToolButtonEdit")->click();

  // Edit: a field of the secondary index.
  typeIntoCell(0, kCity, QStringLiteral("Aachen"));
  grid()->setFocus();
  press(Qt::Key_F2);
  ASSERT_EQ(table().State(), engine::TDataSetState::dsBrowse);

  // Insert: the key is an auto-increment number that the engine assigns.
  grid()->setCurrentIndex(form_->DSTabelle().index(4, 0));
  press(Qt::Key_Insert);
  const int newRow = form_->DSTabelle().rowCount() - 1;
  typeIntoCell(newRow, kFirstName, QStringLiteral("Neu"));
  typeIntoCell(newRow, kLastName, QStringLiteral("Kunde"));
  typeIntoCell(newRow, kCity, QStringLiteral("Zwickau"));
  typeIntoCell(newRow, kDateEntered, QStringLiteral("24.12.2020"));
  grid()->setFocus();
  press(Qt::Key_F2);
  ASSERT_EQ(table().State(), engine::TDataSetState::dsBrowse);
  EXPECT_EQ(current("City"), "Zwickau");

  // Delete: the third record, after the two questions.
  grid()->setCurrentIndex(form_->DSTabelle().index(2, 0));
  const std::string deleted = current("CustNo");
  dialogs_.queueMessageResult(tools::mrYes);
  dialogs_.queueMessageResult(tools::mrNo);
  press(Qt::Key_F7);
  EXPECT_EQ(table().RecordCount(), records);
  EXPECT_EQ(dialogs_.messageCalls().size(), 2u);
  form_->close();
  ASSERT_FALSE(table().Active());

  const pxcheck::Dump ours = pxcheck::ParseDump(testsupport::TableDumpText(path));
  const pxcheck::PxReading chain = pxcheck::ReadWithPxlib(path);
  ASSERT_TRUE(chain.opened);
  EXPECT_TRUE(chain.messages.empty()) << ::testing::PrintToString(chain.messages);
  EXPECT_EQ(pxcheck::CompareDumps(ours, chain.dump), std::vector<std::string>{});
  const std::string px = pxcheck::Companion(path, ".PX").string();
  ASSERT_FALSE(px.empty());
  EXPECT_EQ(pxcheck::CheckPrimaryIndex(path, px), std::vector<std::string>{});
  const pxcheck::PxReading byIndex = pxcheck::ReadWithPxlib(path, px);
  EXPECT_EQ(pxcheck::CompareDumps(ours, byIndex.dump), std::vector<std::string>{});
  const auto secondaries = pxcheck::SecondaryIndexFiles(path);
  ASSERT_FALSE(secondaries.empty());
  for (const auto& x : secondaries) {
    EXPECT_EQ(pxcheck::CheckSecondaryIndex(path, x.string()), std::vector<std::string>{}) << x;
  }

  // The reader sees each change.
  ASSERT_EQ(static_cast<int>(chain.dump.rows.size()), records);
  EXPECT_EQ(chain.dump.rows.at(0).at(kCity), "Aachen");
  const auto* inserted = rowWith(chain.dump, kCity, "Zwickau");
  ASSERT_NE(inserted, nullptr);
  EXPECT_EQ(inserted->at(kFirstName), "Neu");
  EXPECT_EQ(inserted->at(kDateEntered), "2020-12-24");
  EXPECT_EQ(rowWith(chain.dump, 0, deleted), nullptr);
}

}  // namespace
