#include "app/table_model.h"

#include <QAbstractItemModelTester>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/tests/fixture_tables.h"
#include "io/file_system.h"
#include "component/table.h"

namespace {

using app_test::kParadoxDriverTables;

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

Dump readDump(const QString& tableFile) {
  Dump dump;
  QFile file(app_test::fixturePath(QStringLiteral("expected/") +
                                   QString::fromLatin1(kParadoxDriverTables).mid(7) + tableFile +
                                   QStringLiteral(".tsv")));
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
  void SetUp() override {
    SKIP_WITHOUT_FIXTURES();
    ASSERT_TRUE(dir_.isValid());
  }

  void open(const QString& tableFile) {
    ASSERT_FALSE(app_test::copyFixtureTable(QString::fromLatin1(kParadoxDriverTables), tableFile,
                                            dir_.path())
                     .isEmpty());
    model_.resetAround([&] {
      table_.SetDatabaseName(QFile::encodeName(dir_.path() + QLatin1Char('/')).toStdString());
      table_.SetTableName(tableFile.toStdString());
      table_.Open();
    });
  }

  QStringList column(int c) const {
    QStringList texts;
    for (int r = 0; r < model_.rowCount(); ++r) texts << model_.index(r, c).data().toString();
    return texts;
  }

  QTemporaryDir dir_;
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
    open(QStringLiteral("CUSTOMER.DB"));
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
  open(QStringLiteral("CONTACTS.DB"));
  const Dump dump = readDump(QStringLiteral("CONTACTS.DB"));
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
  open(QStringLiteral("CUSTOMER.DB"));
  const Dump dump = readDump(QStringLiteral("CUSTOMER.DB"));
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
  open(QStringLiteral("AREACODES.DB"));
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

// The operating system's files, whose reads fail once the test says so.
class FailingReads : public engine::FileSystem {
 public:
  bool failing = false;

  std::unique_ptr<engine::File> Open(const std::string& path, engine::OpenMode mode) override {
    return std::make_unique<FailingFile>(engine::DefaultFileSystem().Open(path, mode), failing);
  }
  bool Exists(const std::string& path) override { return engine::DefaultFileSystem().Exists(path); }
  void Remove(const std::string& path) override { engine::DefaultFileSystem().Remove(path); }
  void Rename(const std::string& from, const std::string& to) override {
    engine::DefaultFileSystem().Rename(from, to);
  }
  std::vector<std::string> List(const std::string& dir) override {
    return engine::DefaultFileSystem().List(dir);
  }
  void SyncDir(const std::string& dir) override { engine::DefaultFileSystem().SyncDir(dir); }
  std::unique_ptr<engine::TableLock> Lock(const std::string& path, bool exclusive) override {
    return engine::DefaultFileSystem().Lock(path, exclusive);
  }
  std::string CanonicalPath(const std::string& path) override {
    return engine::DefaultFileSystem().CanonicalPath(path);
  }

 private:
  class FailingFile : public engine::File {
   public:
    FailingFile(std::unique_ptr<engine::File> file, const bool& failing)
        : file_(std::move(file)), failing_(failing) {}
    const std::string& Path() const override { return file_->Path(); }
    uint64_t Size() const override { return file_->Size(); }
    size_t ReadAt(uint64_t offset, void* dst, size_t n) const override {
      if (failing_) throw engine::EDBEngineError(engine::kErrIo, "Lesefehler in " + Path());
      return file_->ReadAt(offset, dst, n);
    }
    void WriteAt(uint64_t offset, const void* src, size_t n) override {
      file_->WriteAt(offset, src, n);
    }
    void Truncate(uint64_t size) override { file_->Truncate(size); }
    void Sync() override { file_->Sync(); }

   private:
    std::unique_ptr<engine::File> file_;
    const bool& failing_;
  };
};

TEST_F(TableModelTest, MarksCellsThatCannotBeReadAndTellsWhyInTheirToolTip) {
  FailingReads files;
  table_.SetFileSystem(&files);
  open(QStringLiteral("CONTACTS.DB"));
  ASSERT_GT(model_.rowCount(), 1);
  files.failing = true;
  const QModelIndex last = model_.index(model_.rowCount() - 1, 0);
  EXPECT_EQ(last.data().toString(), QString::fromLatin1(app::TableModel::kUnreadableCell));
  EXPECT_TRUE(last.data(Qt::ToolTipRole).toString().startsWith(QStringLiteral("Lesefehler in ")));
  files.failing = false;
  model_.resetAround([&] { table_.Close(); });
  table_.SetFileSystem(nullptr);
}

TEST_F(TableModelTest, ResetCompletesWithTheTableAsLeftWhenTheOperationThrows) {
  ASSERT_FALSE(app_test::copyFixtureTable(QString::fromLatin1(kParadoxDriverTables),
                                          QStringLiteral("CONTACTS.DB"), dir_.path())
                   .isEmpty());
  QSignalSpy aboutToReset(&model_, &QAbstractItemModel::modelAboutToBeReset);
  QSignalSpy reset(&model_, &QAbstractItemModel::modelReset);
  EXPECT_THROW(model_.resetAround([&] {
    table_.SetDatabaseName(QFile::encodeName(dir_.path() + QLatin1Char('/')).toStdString());
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
