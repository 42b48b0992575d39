#include "app/key_preview.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include <utility>

namespace app {

KeyPreview::KeyPreview(QWidget* window, Handler handler)
    : QObject(window), window_(window), handler_(std::move(handler)) {
  qApp->installEventFilter(this);
}

bool KeyPreview::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
  auto* widget = static_cast<QWidget*>(watched);
  // A key a widget ignores travels on to its parents; the first receiver is the window's focus
  // widget (or the window itself), so each key is previewed once.
  QWidget* first = window_->focusWidget() != nullptr ? window_->focusWidget() : window_;
  if (widget != first || widget->window() != window_) return false;
  handler_(static_cast<QKeyEvent*>(event), widget);
  return false;
}

}  // namespace app
