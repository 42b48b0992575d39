#include "app/startup.h"

#include <QApplication>
#include <QByteArray>
#include <QDeadlineTimer>
#include <QDialog>
#include <QProcess>
#include <QProcessEnvironment>
#include <QToolButton>

#include <gtest/gtest.h>

#include "app/tests/modal.h"
#include "blocksize/unit_dlg_block_size.h"
#include "tools/testsupport/scripted_dialogs.h"

namespace {

TEST(StartUp, BlockSizeButtonShowsTheSameDialogModallyEachTimeWithoutATable) {
  tools::ScriptedDialogs dialogs;
  tools::ScopedDialogSeam seam(dialogs);
  app::KerboltWindows windows = app::createWindows();
  ASSERT_NE(windows.dlgBlockSize, nullptr);
  EXPECT_EQ(windows.dlgBlockSize->parent(), windows.formMain.get());
  auto* button = windows.formMain->findChild<QToolButton*>(QStringLiteral("ButtonBlockCheck"));
  ASSERT_NE(button, nullptr);
  ASSERT_TRUE(button->isEnabled());

  std::vector<QWidget*> shown;
  for (int click = 0; click < 2; ++click) {
    app_test::onNextModal([&](QWidget* modal) {
      shown.push_back(modal);
      qobject_cast<QDialog*>(modal)->reject();
    });
    button->click();
  }
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0], windows.dlgBlockSize);
  EXPECT_EQ(shown[1], windows.dlgBlockSize);
  EXPECT_FALSE(windows.dlgBlockSize->isVisible());
}

// Whether Qt's painting log (category qt.widgets.painting) tells that the main window was drawn.
bool MainWindowDrawn(const QByteArray& log) {
  for (const QByteArray& line : log.split('\n'))
    if (line.contains("Drawing") && line.contains("name=\"FormMain\"")) return true;
  return false;
}

TEST(Program, StartsAndKeepsRunningWhateverArgumentsItIsGiven) {
  QProcess program;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("qt.widgets.painting=true"));
  program.setProcessEnvironment(environment);
  program.setReadChannel(QProcess::StandardError);
  program.start(QStringLiteral(KERBOLT_BIN_DIR "/kerbolt"),
                {QStringLiteral("/gibt/es/nicht/KUNDEN.DB"), QStringLiteral("--help"),
                 QStringLiteral("-x")});
  ASSERT_TRUE(program.waitForStarted(10000)) << program.errorString().toStdString();
  // A program that read its arguments would refuse these at once, before its window is drawn;
  // once the window is drawn, the program runs its event loop.
  QByteArray log;
  const QDeadlineTimer deadline(60000);
  while (!MainWindowDrawn(log) && program.state() == QProcess::Running && !deadline.hasExpired()) {
    program.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
    log += program.readAllStandardError();
  }
  EXPECT_TRUE(MainWindowDrawn(log)) << log.right(2000).toStdString();
  EXPECT_EQ(program.state(), QProcess::Running) << "exit code " << program.exitCode();
  program.kill();
  program.waitForFinished(5000);
}

}  // namespace
