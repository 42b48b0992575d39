#include "duplicate/unit_dlg_progress.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include "component/table.h"
#include "duplicate/choose_copy_table_name.h"
#include "duplicate/core/record_copy.h"
#include "io/file_system.h"
#include "tools/dialogs.h"

namespace duplicate {
namespace {

constexpr int kGlyphSize = 18;

// The glyph of "Abbrechen": a cross, red when the button can be pressed, grey when not.
QPixmap CancelGlyph(const QColor& color) {
  QPixmap glyph(kGlyphSize, kGlyphSize);
  glyph.fill(Qt::transparent);
  QPainter painter(&glyph);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(color, 3, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(4, 4, kGlyphSize - 5, kGlyphSize - 5);
  painter.drawLine(kGlyphSize - 5, 4, 4, kGlyphSize - 5);
  return glyph;
}

QIcon CancelIcon() {
  QIcon icon;
  icon.addPixmap(CancelGlyph(QColor(200, 0, 0)), QIcon::Normal);
  icon.addPixmap(CancelGlyph(QColor(128, 128, 128)), QIcon::Disabled);
  return icon;
}

std::string Encoded(const QString& text) { return QFile::encodeName(text).toStdString(); }

// Puts the source into primary-key order for the copy and gives it its index back afterwards,
// also when the copy fails.
class IndexNameKeeper {
 public:
  explicit IndexNameKeeper(const DuplicationSource& source)
      : source_(source), remembered_(source.table->IndexName()) {
    change(std::string());
  }
  ~IndexNameKeeper() {
    try {
      Restore();
    } catch (const std::exception&) {
      // The failure that unwinds the copy is the one to report.
    }
  }
  IndexNameKeeper(const IndexNameKeeper&) = delete;
  IndexNameKeeper& operator=(const IndexNameKeeper&) = delete;

  void Restore() {
    if (restored_) return;
    restored_ = true;
    change(remembered_);
  }

 private:
  void change(const std::string& name) {
    auto set = [&] { source_.table->SetIndexName(name); };
    if (source_.aroundIndexChange) {
      source_.aroundIndexChange(set);
    } else {
      set();
    }
  }

  const DuplicationSource& source_;
  std::string remembered_;
  bool restored_ = false;
};

}  // namespace

TDlgProgress::TDlgProgress(DuplicationSource source, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint),
      source_(std::move(source)) {
  setObjectName(QStringLiteral("DlgProgress"));
  setWindowTitle(QStringLiteral("Kerbolt"));
  setFixedSize(293, 88);

  LabelProgress = new QLabel(QStringLiteral("-- Aktion --"), this);
  LabelProgress->setObjectName(QStringLiteral("LabelProgress"));
  LabelProgress->setGeometry(3, 12, 288, 13);
  LabelProgress->setAlignment(Qt::AlignCenter);

  ProgressBar = new QProgressBar(this);
  ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
  ProgressBar->setGeometry(9, 34, 275, 16);
  ProgressBar->setRange(0, maximum_);
  ProgressBar->setTextVisible(false);

  ButtonAbbrechen = new QPushButton(QStringLiteral("Abbrechen"), this);
  ButtonAbbrechen->setObjectName(QStringLiteral("ButtonAbbrechen"));
  ButtonAbbrechen->setGeometry(91, 58, 111, 25);
  ButtonAbbrechen->setIcon(CancelIcon());
  ButtonAbbrechen->setIconSize(QSize(kGlyphSize, kGlyphSize));
  ButtonAbbrechen->setDefault(true);

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(kCloseDelayMs);
  Timer1->setSingleShot(true);
  // A coarse timer may fire up to 5 % early; the dialog stays the full delay.
  Timer1->setTimerType(Qt::PreciseTimer);

  connect(ButtonAbbrechen, &QPushButton::clicked, this, [this] { ButtonAbbrechenClick(); });
  connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
  if (parent != nullptr) parent->window()->installEventFilter(this);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  FormCreate();
}

TDlgProgress::~TDlgProgress() = default;

void TDlgProgress::FormCreate() {
  LabelProgress->clear();
  ClearAction();
}

void TDlgProgress::ClearAction() {
  actionCode_ = 0;
  busy_ = false;
}

void TDlgProgress::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // Once per showing: the dialog coming back from a minimised application starts nothing.
  if (event->spontaneous() || workScheduled_) return;
  workScheduled_ = true;
  FormShow();
  // The work starts once the dialog is on screen, inside its modal loop.
  QTimer::singleShot(0, this, [this] { FormActivate(); });
}

void TDlgProgress::FormShow() {
  setPosition(0);
  proceed_ = true;
}

void TDlgProgress::FormActivate() {
  LabelProgress->repaint();
  Timer1->stop();
  working_ = true;
  Work();
  working_ = false;
  Timer1->start();
}

void TDlgProgress::Work() {
  try {
    if (actionCode_ != ActionCreateOnly && actionCode_ != ActionCopyContent) {
      tools::MessageDlg(QStringLiteral("Ungültige Aktion %1!\nWenden Sie sich an Ihren Software-Lieferanten.")
                            .arg(actionCode_),
                        tools::MsgDlgType::mtError, tools::mbOK);
      return;
    }
    busy_ = true;
    proceed_ = true;
    engine::TTable& table = *source_.table;
    const QString sourceName = QFile::decodeName(table.TableName().c_str());
    LabelProgress->setText(QStringLiteral("Tabelle \"%1\" dublizieren ...").arg(sourceName));
    maximum_ = table.RecordCount();
    ProgressBar->setRange(0, std::max(maximum_, 1));
    const QString targetName = ChooseCopyTableName(QFile::decodeName(table.DatabaseName().c_str()),
                                                   sourceName, source_.programDirectory);
    CreateDuplicate(fileSystem(), table, Encoded(source_.programDirectory), Encoded(targetName));
    if (actionCode_ == ActionCreateOnly) return;
    CopyContent(Encoded(source_.programDirectory), Encoded(targetName));
  } catch (const std::exception& failure) {
    tools::MessageDlg(QString::fromUtf8(failure.what()), tools::MsgDlgType::mtError, tools::mbOK);
    proceed_ = false;
  }
}

void TDlgProgress::CopyContent(const std::string& directory, const std::string& targetName) {
  engine::TTable& table = *source_.table;
  IndexNameKeeper keeper(source_);
  table.First();
  CopyRecords(fileSystem(), table, directory, targetName,
              {[this] { return proceed_; }, [this] { AdvanceProgress(); }});
  if (proceed_) {
    tools::MessageDlg(QStringLiteral("Tabelle nach \"%1%2\" dubliziert!")
                          .arg(source_.programDirectory, QFile::decodeName(targetName.c_str())),
                      tools::MsgDlgType::mtInformation, tools::mbOK);
  } else {
    tools::MessageDlg(QStringLiteral("Dublizierung nach %1 von %2 Datensätzen abgebrochen!")
                          .arg(position_)
                          .arg(maximum_),
                      tools::MsgDlgType::mtWarning, tools::mbOK);
  }
  keeper.Restore();
}

engine::FileSystem& TDlgProgress::fileSystem() const {
  return source_.fileSystem != nullptr ? *source_.fileSystem : engine::DefaultFileSystem();
}

void TDlgProgress::AdvanceProgress() {
  setPosition(position_ == maximum_ ? 0 : position_ + 1);
  QCoreApplication::processEvents();
}

void TDlgProgress::setPosition(int position) {
  position_ = position;
  ProgressBar->setValue(std::min(position_, ProgressBar->maximum()));
}

void TDlgProgress::ButtonAbbrechenClick() {
  if (busy_) {
    if (tools::MessageDlg(QStringLiteral("Wirklich abbrechen?"), tools::MsgDlgType::mtConfirmation,
                          tools::mbYes | tools::mbNo) == tools::mrYes) {
      proceed_ = false;
    }
  } else {
    proceed_ = false;
  }
  // The button closes the dialog like its title bar, which the running work does not allow.
  if (!working_) reject();
}

void TDlgProgress::Timer1Timer() { close(); }

// Every way of closing (timer, title bar, Esc, "Abbrechen") ends here; none while the work runs.
void TDlgProgress::reject() {
  if (working_) return;
  FormClose();
  QDialog::reject();
}

void TDlgProgress::closeEvent(QCloseEvent* event) {
  if (working_) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void TDlgProgress::FormClose() {
  Timer1->stop();
  workScheduled_ = false;
  ClearAction();
}

void TDlgProgress::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange) return;
  if (windowState() & Qt::WindowMinimized) {
    // Minimising the dialog minimises the whole application.
    for (QWidget* window : QApplication::topLevelWidgets()) {
      if (window != this && window->isVisible() && !window->isMinimized()) window->showMinimized();
    }
    return;
  }
  savedWindowState_ = windowState();
}

bool TDlgProgress::eventFilter(QObject* watched, QEvent* event) {
  // The application coming back brings the dialog back as it was before it was minimised.
  if (event->type() == QEvent::WindowStateChange && watched->isWidgetType() &&
      !static_cast<QWidget*>(watched)->isMinimized() && isMinimized()) {
    setWindowState(savedWindowState_);
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace duplicate
