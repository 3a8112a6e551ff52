// A stand-in control for tests: it records every call, answers from a script, and raises
// whatever events the test asks for, from whichever thread the test raises them on.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/activex/dispatch.h"

namespace marlo::activex::testing {

class ScriptedControl : public Control {
 public:
  struct Call {
    int member = 0;
    CallKind kind = CallKind::Get;
    std::vector<Value> args;
  };

  CallResult call(int member, CallKind kind, const std::vector<Value>& args) override {
    std::function<CallResult(const std::vector<Value>&)> answer;
    {
      std::lock_guard lock(mutex_);
      calls_.push_back(Call{member, kind, args});
      if (kind == CallKind::Put) properties_[member] = args.back();
      const auto it = answers_.find(member);
      if (it != answers_.end()) {
        answer = it->second;
      } else if (kind == CallKind::Get && properties_.count(member) != 0) {
        return CallResult::success(properties_[member]);
      }
    }
    if (answer) return answer(args);
    return CallResult::success();
  }
  void advise(std::shared_ptr<EventSink> sink) override {
    std::lock_guard lock(mutex_);
    sink_ = std::move(sink);
  }

  // What member `member` answers from now on.
  void answer(int member, std::function<CallResult(const std::vector<Value>&)> answer) {
    std::lock_guard lock(mutex_);
    answers_[member] = std::move(answer);
  }
  void answer(int member, Value value) {
    answer(member, [value](const std::vector<Value>&) { return CallResult::success(value); });
  }
  void raise(std::string_view name, std::vector<Value> parameters = {}) {
    std::shared_ptr<EventSink> sink;
    {
      std::lock_guard lock(mutex_);
      sink = sink_;
    }
    if (sink) sink->fire(name, std::move(parameters));
  }
  [[nodiscard]] bool advised() const {
    std::lock_guard lock(mutex_);
    return sink_ != nullptr;
  }
  [[nodiscard]] std::vector<Call> calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  void forgetCalls() {
    std::lock_guard lock(mutex_);
    calls_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<EventSink> sink_;
  std::vector<Call> calls_;
  std::map<int, std::function<CallResult(const std::vector<Value>&)>> answers_;
  std::map<int, Value> properties_;
};

}  // namespace marlo::activex::testing
