#include "app/tests/modal.h"

#include <QApplication>
#include <QTimer>

#include <memory>

#include <gtest/gtest.h>

namespace app_test {
namespace {

constexpr int kPollMilliseconds = 10;
constexpr int kMaximumPolls = 3000;  // 30 s: the machine may be busy

}  // namespace

void onNextModal(std::function<void(QWidget*)> action) {
  auto* timer = new QTimer;
  auto polls = std::make_shared<int>(0);
  timer->setInterval(kPollMilliseconds);
  QObject::connect(timer, &QTimer::timeout, [timer, polls, action = std::move(action)] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible()) {
      if (++*polls < kMaximumPolls) return;
      ADD_FAILURE() << "no modal dialog was shown";
      timer->deleteLater();
      timer->stop();
      return;
    }
    timer->stop();
    timer->deleteLater();
    action(modal);
  });
  timer->start();
}

}  // namespace app_test
