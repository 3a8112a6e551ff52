// Shared set-up of the window engine tests: a headless view, an engine and a driver per test,
// and small window procedures whose events are written to a log the test reads.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/headless/headless_view.h"
#include "platform/headless/test_driver.h"
#include "platform/window/engine.h"
#include "platform/window/window.h"

namespace marlo::test {

using namespace marlo::win;       // NOLINT
using namespace marlo::headless;  // NOLINT

// Events as "Name control" lines, written by program threads and read by the test.
class EventLog {
 public:
  void add(std::string line) {
    std::lock_guard lock(mutex_);
    lines_.push_back(std::move(line));
  }
  void add(const Event& e) {
    std::string line(eventName(e.code));
    if (e.code >= event::FirstProgramEvent) line = std::to_string(e.code);
    if (e.control != 0) line += " " + std::to_string(e.control);
    add(std::move(line));
  }
  std::vector<std::string> take() {
    std::lock_guard lock(mutex_);
    auto out = std::move(lines_);
    lines_.clear();
    return out;
  }
  // Lines without the focus traffic that every window opening causes.
  std::vector<std::string> takeWithoutFocus() {
    std::vector<std::string> out;
    for (auto& l : take()) {
      if (l != "GainFocus" && l != "LoseFocus") out.push_back(std::move(l));
    }
    return out;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

enum class Verdict { Carry, Consume, Leave };

// Runs one window on the calling (program) thread until it closes or the handler leaves.
inline void runWindow(Window& w, EventLog& log,
                      const std::function<Verdict(Window&, const Event&)>& handler) {
  w.open();
  while (const Event* e = w.accept()) {
    log.add(*e);
    const Verdict v = handler ? handler(w, *e) : Verdict::Carry;
    if (v == Verdict::Consume) w.consume();
    if (v == Verdict::Leave) break;
  }
  w.close();
}

class WindowTest : public ::testing::Test {
 protected:
  HeadlessView view;
  Engine engine{view};
  TestDriver driver{engine, view};
  EventLog log;
};

}  // namespace marlo::test
