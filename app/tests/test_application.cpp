// One QApplication for every test of this binary, set up as the program sets itself up: the
// start-up settings first, then the application object with its title.

#include <QApplication>

#include <gtest/gtest.h>

#include "app/qt_translations.h"
#include "app/startup.h"
#include "tools/tramek_tools.h"

namespace {

class QtApplicationEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    tools::InitializeTramekTools();
    application_ = new QApplication(argc_, argv_);
    app::installQtGermanTranslations(*application_);
    app::setApplicationTitle();
  }
  void TearDown() override {
    delete application_;
    application_ = nullptr;
  }

 private:
  int argc_ = 1;
  char name_[10] = "app_tests";
  char* argv_[2] = {name_, nullptr};
  QApplication* application_ = nullptr;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace
