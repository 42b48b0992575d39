#pragma once
// Key preview for one window: every key press meant for a widget of the window reaches the
// handler before the widget does. The handler does not consume the key: the widget receives
// it afterwards and reacts as it normally does.

#include <QObject>

#include <functional>

class QKeyEvent;
class QWidget;

namespace app {

class KeyPreview : public QObject {
 public:
  // `target`: the widget that receives the key (the window's focus widget, or the window).
  using Handler = std::function<void(QKeyEvent* key, QWidget* target)>;

  // Watches the application's key events for `window`; lives as long as the window.
  KeyPreview(QWidget* window, Handler handler);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* window_;
  Handler handler_;
};

}  // namespace app
