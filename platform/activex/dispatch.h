// The binary contract between the control host and the controls it hosts: values, member calls
// by dispatch number, events by name, and the entry a control module registers its classes
// through. A control module includes this header and nothing else of the program, and builds
// against it alone (everything here is inline), as a control includes its platform's
// automation headers.
#pragma once

#include <charconv>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <variant>
#include <vector>

namespace marlo::activex {

class Dispatch;

// One value of any type, as member arguments, results and event parameters carry them. Every
// value converts to a number and to a text: a text that is not a number converts to 0, and an
// object converts to 0 and to empty text.
class Value {
 public:
  enum class Kind { Empty, Integer, Real, Text, Object };

  Value() = default;
  Value(std::int64_t v) : data_(v) {}                          // NOLINT
  Value(int v) : data_(static_cast<std::int64_t>(v)) {}        // NOLINT
  Value(double v) : data_(v) {}                                // NOLINT
  Value(std::string v) : data_(std::move(v)) {}                // NOLINT
  Value(std::string_view v) : data_(std::string(v)) {}         // NOLINT
  Value(const char* v) : data_(std::string(v)) {}              // NOLINT
  Value(std::shared_ptr<Dispatch> v) : data_(std::move(v)) {}  // NOLINT

  [[nodiscard]] Kind kind() const { return static_cast<Kind>(data_.index()); }
  [[nodiscard]] bool isNumber() const { return kind() == Kind::Integer || kind() == Kind::Real; }
  [[nodiscard]] bool isText() const { return kind() == Kind::Text; }

  [[nodiscard]] std::int64_t toInteger() const {
    switch (kind()) {
      case Kind::Integer:
        return std::get<std::int64_t>(data_);
      case Kind::Real:
        return realToInteger(std::get<double>(data_));
      case Kind::Text:
        return textToInteger(std::get<std::string>(data_));
      case Kind::Empty:
      case Kind::Object:
        return 0;
    }
    return 0;
  }
  [[nodiscard]] double toReal() const {
    if (kind() == Kind::Real) return std::get<double>(data_);
    if (kind() == Kind::Text) return textToReal(std::get<std::string>(data_));
    return static_cast<double>(toInteger());
  }
  [[nodiscard]] std::string toText() const {
    switch (kind()) {
      case Kind::Integer:
        return std::to_string(std::get<std::int64_t>(data_));
      case Kind::Real: {
        char buffer[64];
        const auto r = std::to_chars(buffer, buffer + sizeof buffer, std::get<double>(data_));
        return std::string(buffer, r.ptr);
      }
      case Kind::Text:
        return std::get<std::string>(data_);
      case Kind::Empty:
      case Kind::Object:
        return {};
    }
    return {};
  }
  [[nodiscard]] std::shared_ptr<Dispatch> object() const {
    if (kind() != Kind::Object) return nullptr;
    return std::get<std::shared_ptr<Dispatch>>(data_);
  }

  friend bool operator==(const Value& a, const Value& b) { return a.data_ == b.data_; }

 private:
  static std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    return text;
  }
  static std::int64_t realToInteger(double v) {
    if (!(v == v)) return 0;  // NaN
    if (v >= 9.2e18) return INT64_MAX;
    if (v <= -9.2e18) return INT64_MIN;
    return static_cast<std::int64_t>(v);
  }
  static std::int64_t textToInteger(std::string_view text) {
    text = trimmed(text);
    std::int64_t v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec == std::errc() && r.ptr == text.data() + text.size()) return v;
    return realToInteger(textToReal(text));
  }
  static double textToReal(std::string_view text) {
    text = trimmed(text);
    double v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec == std::errc() && r.ptr == text.data() + text.size()) return v;
    return 0;
  }

  std::variant<std::monostate, std::int64_t, double, std::string, std::shared_ptr<Dispatch>> data_;
};

// How a member is reached: read (a property, or a member with a result), assign (a property),
// or execute (a member without a result).
enum class CallKind { Get, Put, Execute };

// Why a call failed. The host adds its own for member texts it cannot parse.
enum class CallError {
  None,
  UnknownMember,  // no member with that dispatch number, or not in that form
  WrongCount,     // too few or too many arguments
  WrongType,      // an argument (or an assigned value) of the wrong type
  ReadOnly,       // assigning a property that can only be read
  Busy,           // the control cannot take the call while a job runs
  Failed,         // the member ran and failed
  Syntax,         // (host) the member text does not parse
  NoObject,       // (host) no object in the slot, or an unknown object reference
};

struct CallResult {
  CallError error = CallError::None;
  std::string message;  // plain words for the person, when error is not None
  Value value;

  [[nodiscard]] bool ok() const { return error == CallError::None; }
  static CallResult success(Value value = {}) { return {CallError::None, {}, std::move(value)}; }
  static CallResult failure(CallError error, std::string message) {
    return {error, std::move(message), {}};
  }
};

// An object whose members are reached by dispatch number.
class Dispatch {
 public:
  virtual ~Dispatch() = default;
  // `args` are the member's arguments in order; for CallKind::Put the assigned value comes
  // last. May be called from any thread; a control serialises what needs it.
  virtual CallResult call(int member, CallKind kind, const std::vector<Value>& args) = 0;
};

// Where a control raises its events. Safe to call from any thread, the control's worker thread
// above all; the call returns once the host has handed the event on.
class EventSink {
 public:
  virtual ~EventSink() = default;
  virtual void fire(std::string_view name, std::vector<Value> parameters) = 0;
};

// A control: an object with members and events.
class Control : public Dispatch {
 public:
  // Where events go from now on; null: nowhere. The control keeps the sink alive while it
  // fires into it.
  virtual void advise(std::shared_ptr<EventSink> sink) = 0;
};

// What a control module registers with the host: a class id, the file that serves it, and how
// to make an object of it.
using ControlFactory = std::shared_ptr<Control> (*)();

class Registrar {
 public:
  // 0 on success, a non-zero error number otherwise.
  virtual int registerClass(const char* classId, const char* fileName, ControlFactory make) = 0;

 protected:
  ~Registrar() = default;
};

// The entry every control module exports: registers the module's classes with the host and
// returns 0, or a non-zero error number (the host reports it).
using RegisterServerEntry = int (*)(Registrar* registrar);
inline constexpr const char* kRegisterServerEntry = "DllRegisterServer";

}  // namespace marlo::activex
