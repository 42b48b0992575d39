#pragma once
// A window's control by its object name, failing the test when there is none.

#include <QString>
#include <QWidget>

#include <gtest/gtest.h>

namespace app_test {

template <typename Widget>
Widget* FindControl(const QWidget& window, const char* name) {
  auto* widget = window.findChild<Widget*>(QString::fromLatin1(name));
  EXPECT_NE(widget, nullptr) << name;
  return widget;
}

}  // namespace app_test
