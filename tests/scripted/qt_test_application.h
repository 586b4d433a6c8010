#pragma once
// Widget tests need one QApplication for the whole run (offscreen platform, set by
// the test environment). Include this header in exactly one source file of a widget
// test executable.

#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

namespace zelk {

class QtApplicationEnvironment final : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "zelk-widget-tests";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { app_.reset(); }

 private:
  std::unique_ptr<QApplication> app_;
};

inline ::testing::Environment* const kQtApplicationEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace zelk
