#pragma once
// The fixture of the tests that need a private X server: a scratch folder (root_) and
// Xvfb (server_), both gone after the test; skipped when a tool the suite needs is
// missing. A subclass's SetUp calls this one's first and stops when Ready() is false.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "needed_tool.h"
#include "x_session.h"

namespace zelk::e2e {

class XServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string missing = MissingTool();
    if (!missing.empty()) ZELK_SKIP_WITHOUT_TOOL(missing);
    char pattern[] = "/tmp/zelk-e2e-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root_ = pattern;
    server_ = std::make_unique<XServer>(root_ + "/xvfb.log");
  }
  void TearDown() override {
    server_.reset();
    if (!root_.empty()) std::filesystem::remove_all(root_);
  }
  bool Ready() const { return server_ != nullptr; }

  std::string root_;
  std::unique_ptr<XServer> server_;
};

}  // namespace zelk::e2e
