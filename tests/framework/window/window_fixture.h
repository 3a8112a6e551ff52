// Shared set-up of the window framework's tests: a headless view, an engine and a driver per
// test, message boxes answered through the driver, the global error manager loaded, and a
// fresh folder to keep the test tables in.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "framework/error_manager.h"
#include "framework/window/windowed_interface.h"
#include "platform/headless/headless_view.h"
#include "platform/headless/test_driver.h"
#include "platform/window/engine.h"
#include "platform/window/window.h"

namespace marlo::test {

using namespace marlo::win;       // NOLINT
using namespace marlo::headless;  // NOLINT

class WindowFrameworkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previousDir_ = std::filesystem::current_path();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info->name();  // a parameterised test's name holds a "/"
    std::replace(name.begin(), name.end(), '/', '-');
    std::string pattern =
        (std::filesystem::temp_directory_path() / ("marlo-fwwin-" + name + "-XXXXXX")).string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    std::filesystem::current_path(dir_);
    ::setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
    globalErrors.init(nullptr);
    setUserInterface(&ui);
  }

  void TearDown() override {
    engine.shutdown();
    setUserInterface(nullptr);
    globalErrors.kill();
    std::filesystem::current_path(previousDir_);
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  // Captions of every message box shown so far, in order.
  [[nodiscard]] std::vector<std::string> captions() const {
    std::vector<std::string> out;
    for (const auto& shown : driver.dialogs()) {
      if (shown.request.kind == DialogRequest::Kind::Message) out.push_back(shown.request.title);
    }
    return out;
  }

  HeadlessView view;
  Engine engine{view};
  TestDriver driver{engine, view};
  WindowedInterface ui;

 private:
  std::filesystem::path previousDir_;
  std::filesystem::path dir_;
};

}  // namespace marlo::test
