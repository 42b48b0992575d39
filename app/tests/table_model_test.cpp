#include "app/table_model.h"

#include <QAbstractItemModelTester>
#include <QDate>
#include <QFile>
#include <QSignalSpy>
#include <QTextStream>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "io/file_system.h"
#include "component/table.h"
#include "testsupport/fault_file_system.h"
#include "testsupport/fixture_folder.h"
#include "testsupport/fixture_tables.h"
#include "testsupport/table_files.h"
#include "testsupport/temp_dir.h"

namespace {

namespace fs = std::filesystem;
namespace fixtures = testsupport::fixtures;

// A table as the expected dump of the samples writes it: names, type tokens, records.
struct Dump {
  QStringList names;
  QStringList types;
  std::vector<QStringList> records;
};

QString unescape(const QString& text) {
  QString out;
  for (int i = 0; i < text.size(); ++i) {
    if (text[i] != QLatin1Char('\\') || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const QChar next = text[++i];
    out += next == QLatin1Char('t')   ? QChar('\t')
           : next == QLatin1Char('n') ? QChar('\n')
           : next == QLatin1Char('r') ? QChar('\r')
                                      : next;
  }
  return out;
}

Dump readDump(const fs::path& sample) {
  Dump dump;
  QFile file(QString::fromStdString(fixtures::ExpectedDump(sample).string()));
  if (!file.open(QIODevice::ReadOnly)) {
    ADD_FAILURE() << "expected dump missing: " << file.fileName().toStdString();
    return dump;
  }
  QTextStream in(&file);
  in.setEncoding(QStringConverter::Utf8);
  int line = 0;
  while (!in.atEnd()) {
    QStringList cells = in.readLine().split(QLatin1Char('\t'));
    for (QString& cell : cells) cell = unescape(cell);
    if (line == 0) dump.names = cells;
    else if (line == 1) dump.types = cells;
    else dump.records.push_back(cells);
    ++line;
  }
  return dump;
}

class TableModelTest : public ::testing::Test {
 protected:
  void SetUp() override { SKIP_WITHOUT_FIXTURES(); }

  // Copies a sample table into the test's folder and opens the copy.
  void open(const fs::path& sample) {
    testsupport::CopyTable(sample, dir_.Path());
    model_.resetAround([&] {
      table_.SetDatabaseName(dir_.Path());
      table_.SetTableName(sample.filename().string());
      table_.Open();
    });
  }

  QStringList column(int c) const {
    QStringList texts;
    for (int r = 0; r < model_.rowCount(); ++r) texts << model_.index(r, c).data().toString();
    return texts;
  }

  testsupport::TempDir dir_;
  engine::TTable table_;
  app::TableModel model_{table_};
};

TEST_F(TableModelTest, PassesTheModelTesterThroughOpenIndexChangeRefreshAndClose) {
  static QStringList failures;
  failures.clear();
  const QtMessageHandler previous =
      qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
        failures << message;
      });
  {
    QAbstractItemModelTester tester(&model_,
                                    QAbstractItemModelTester::FailureReportingMode::Warning);
    open(fixtures::KeyedWithBlobs());
    for (int c = 0; c < model_.columnCount(); ++c) column(c);
    model_.resetAround([&] { table_.SetIndexName("City"); });
    column(0);
    model_.resetAround([&] { table_.Refresh(); });
    model_.resetAround([&] { table_.Close(); });
  }
  qInstallMessageHandler(previous);
  EXPECT_TRUE(failures.isEmpty()) << failures.join(QLatin1Char('\n')).toStdString();
  EXPECT_EQ(model_.rowCount(), 0);
  EXPECT_EQ(model_.columnCount(), 0);
}

TEST_F(TableModelTest, ShowsEveryCellOfATableWithoutKeyInStoredOrder) {
  open(fixtures::Unkeyed());
  const Dump dump = readDump(fixtures::Unkeyed());
  ASSERT_EQ(model_.rowCount(), static_cast<int>(dump.records.size()));
  ASSERT_EQ(model_.columnCount(), dump.names.size());
  for (int c = 0; c < model_.columnCount(); ++c) {
    EXPECT_EQ(model_.headerData(c, Qt::Horizontal).toString(), dump.names[c]);
  }
  for (int r = 0; r < model_.rowCount(); ++r) {
    for (int c = 0; c < model_.columnCount(); ++c) {
      EXPECT_EQ(model_.index(r, c).data().toString(), dump.records[r][c]) << "row " << r;
    }
  }
}

TEST_F(TableModelTest, ShowsDatesInTheShortDateFormatAndNoTextForMemos) {
  open(fixtures::KeyedWithBlobs());
  const Dump dump = readDump(fixtures::KeyedWithBlobs());
  ASSERT_EQ(model_.rowCount(), static_cast<int>(dump.records.size()));
  ASSERT_EQ(dump.names.first(), QStringLiteral("CustNo"));
  std::map<QString, int> rowOfCustomer;
  for (int r = 0; r < model_.rowCount(); ++r) rowOfCustomer[model_.index(r, 0).data().toString()] = r;
  int memoCells = 0;
  int dateCells = 0;
  for (const QStringList& record : dump.records) {
    ASSERT_EQ(rowOfCustomer.count(record[0]), 1u) << record[0].toStdString();
    const int r = rowOfCustomer[record[0]];
    for (int c = 0; c < dump.types.size(); ++c) {
      const QVariant shown = model_.index(r, c).data();
      const QChar type = dump.types[c].at(0);
      if (QStringLiteral("MFBOG").contains(type)) {
        EXPECT_FALSE(shown.isValid()) << "memo shown in row " << r;
        ++memoCells;
      } else if (type == QLatin1Char('D') && !record[c].isEmpty()) {
        const QDate date = QDate::fromString(record[c], Qt::ISODate);
        EXPECT_EQ(shown.toString(), date.toString(QStringLiteral("dd.MM.yyyy")));
        ++dateCells;
      } else {
        EXPECT_EQ(shown.toString(), record[c]) << "row " << r << " column " << c;
      }
    }
  }
  EXPECT_GT(memoCells, 0);
  EXPECT_GT(dateCells, 0);
  EXPECT_EQ(model_.index(0, 0).data(Qt::TextAlignmentRole).toInt() & Qt::AlignRight,
            Qt::AlignRight);
}

TEST_F(TableModelTest, RowsFollowTheCurrentIndexAfterEachReset) {
  open(fixtures::BlockSize16K());
  const int stateColumn = 1;
  ASSERT_EQ(model_.headerData(stateColumn, Qt::Horizontal).toString(), QStringLiteral("State"));
  auto isSorted = [](QStringList texts, Qt::CaseSensitivity cs) {
    for (int i = 1; i < texts.size(); ++i) {
      if (QString::compare(texts[i - 1], texts[i], cs) > 0) return false;
    }
    return true;
  };
  const QStringList byCode = column(0);
  model_.resetAround([&] { table_.SetIndexName("ste"); });
  EXPECT_TRUE(isSorted(column(stateColumn), Qt::CaseInsensitive));
  EXPECT_NE(column(0), byCode);
  model_.resetAround([&] { table_.SetIndexName(""); });
  EXPECT_EQ(column(0), byCode);
  EXPECT_TRUE(isSorted(byCode, Qt::CaseSensitive));
}

TEST_F(TableModelTest, MarksCellsThatCannotBeReadAndTellsWhyInTheirToolTip) {
  // The records of a small table are all in memory once it is open; the memo of CUSTOMER's row
  // 1 (column Comments) is read from CUSTOMER.MB when its cell is shown.
  constexpr int kComments = 8;
  testsupport::FaultFileSystem files(engine::DefaultFileSystem());
  table_.SetFileSystem(&files);
  open(fixtures::KeyedWithBlobs());
  ASSERT_GT(model_.rowCount(), 1);
  files.FailNth(testsupport::FaultKind::Read, 1, /*sticky=*/true);
  const QModelIndex cell = model_.index(1, kComments);
  EXPECT_EQ(cell.data().toString(), QString::fromLatin1(app::TableModel::kUnreadableCell));
  const QString tip = cell.data(Qt::ToolTipRole).toString();
  EXPECT_TRUE(tip.contains(QStringLiteral("Lesefehler"))) << tip.toStdString();
  EXPECT_TRUE(tip.contains(QString::fromStdString(dir_.Path() + "CUSTOMER.MB"))) << tip.toStdString();
  EXPECT_TRUE(files.Fired());
  files.FailNth(testsupport::FaultKind::Read, 0);
  model_.resetAround([&] { table_.Close(); });
  table_.SetFileSystem(nullptr);
}

TEST_F(TableModelTest, MarksTheCellsOfARecordThatTheEndOfTheFileCutsOff) {
  // The unkeyed sample's 55th record lies alone in block 3 (2 KiB header and blocks); the file
  // ends 40 bytes into it.
  const std::string path = testsupport::CopyTable(fixtures::Unkeyed(), dir_.Path());
  fs::resize_file(path, 2048 + 2 * 2048 + 6 + 40);
  model_.resetAround([&] {
    table_.SetDatabaseName(dir_.Path());
    table_.SetTableName("CONTACTS.DB");
    table_.Open();
  });
  ASSERT_EQ(model_.rowCount(), 55);
  const Dump dump = readDump(fixtures::Unkeyed());
  EXPECT_EQ(model_.index(53, 0).data().toString(), dump.records[53][0]);
  EXPECT_FALSE(model_.index(53, 0).data(Qt::ToolTipRole).isValid());
  for (int c = 0; c < model_.columnCount(); ++c) {
    const QModelIndex cell = model_.index(54, c);
    EXPECT_EQ(cell.data().toString(), QString::fromLatin1(app::TableModel::kUnreadableCell)) << c;
    const QString tip = cell.data(Qt::ToolTipRole).toString();
    EXPECT_TRUE(tip.contains(QStringLiteral("abgeschnitten"))) << tip.toStdString();
    EXPECT_TRUE(tip.contains(QString::fromStdString(path))) << tip.toStdString();
  }
}

TEST_F(TableModelTest, MarksTheMemoCellsWhoseValueTheMissingMbHeld) {
  // CUSTOMER's memo column Comments: row 0's value lies in the record, rows 1 to 4 hold theirs
  // in CUSTOMER.MB, the others are empty.
  constexpr int kComments = 8;
  const std::string path = testsupport::CopyTable(fixtures::KeyedWithBlobs(), dir_.Path());
  fs::remove(dir_.Path() + "CUSTOMER.MB");
  model_.resetAround([&] {
    table_.SetDatabaseName(dir_.Path());
    table_.SetTableName("CUSTOMER.DB");
    table_.Open();
  });
  ASSERT_EQ(model_.rowCount(), 20);
  for (int r = 0; r < model_.rowCount(); ++r) {
    const QModelIndex cell = model_.index(r, kComments);
    if (r >= 1 && r <= 4) {
      EXPECT_EQ(cell.data().toString(), QString::fromLatin1(app::TableModel::kUnreadableCell)) << r;
      const QString tip = cell.data(Qt::ToolTipRole).toString();
      EXPECT_TRUE(tip.contains(QString::fromStdString(dir_.Path() + "CUSTOMER.MB"))) << tip.toStdString();
      EXPECT_TRUE(tip.contains(QStringLiteral("fehlt"))) << tip.toStdString();
    } else {
      EXPECT_FALSE(cell.data().isValid()) << r;
      EXPECT_FALSE(cell.data(Qt::ToolTipRole).isValid()) << r;
    }
  }
}

TEST_F(TableModelTest, ResetCompletesWithTheTableAsLeftWhenTheOperationThrows) {
  testsupport::CopyTable(fixtures::Unkeyed(), dir_.Path());
  QSignalSpy aboutToReset(&model_, &QAbstractItemModel::modelAboutToBeReset);
  QSignalSpy reset(&model_, &QAbstractItemModel::modelReset);
  EXPECT_THROW(model_.resetAround([&] {
    table_.SetDatabaseName(dir_.Path());
    table_.SetTableName("CONTACTS.DB");
    table_.Open();
    throw engine::EDBEngineError(engine::kErrCorrupt, "kaputt");
  }),
               engine::EDBEngineError);
  EXPECT_EQ(aboutToReset.count(), 1);
  EXPECT_EQ(reset.count(), 1);
  EXPECT_FALSE(model_.isResetting());
  EXPECT_EQ(model_.rowCount(), table_.RecordCount());
  EXPECT_EQ(model_.columnCount(), 4);
}

}  // namespace
