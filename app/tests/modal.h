#pragma once
// Answers modal dialogs from inside their own event loop, so that a test can call code that
// runs exec() without blocking.

#include <QWidget>

#include <functional>

namespace app_test {

// Runs `action` on the next modal widget as soon as it is shown. The action has to close it.
// When no modal widget shows up within 30 seconds the test fails.
void onNextModal(std::function<void(QWidget*)> action);

}  // namespace app_test
