#include "app/cd_writer_control.h"

#include <array>

#include "platform/activex/member_text.h"
#include "platform/storage/profile.h"
#include "platform/window/window.h"

namespace app {

using marlo::activex::EventParameters;
using marlo::activex::PendingEvent;
using marlo::activex::Value;

namespace {

constexpr const char* kSettingsFile = "cd_rw.ini";

std::string_view withoutTrailingBlanks(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

std::string cut(std::string text) {
  if (text.size() > CdWriterControl::kTextCapacity) text.resize(CdWriterControl::kTextCapacity);
  return text;
}

// How each event's parameters are read: 'h' a 16-bit number, 'l' a 32-bit one, 't' a text.
struct EventShape {
  const char* name;
  std::int32_t number;
  const char* parameters;
};
constexpr std::array<EventShape, 5> kEvents{{
    {"OnError", CdWriterControl::kOnError, "ht"},
    {"OnSCSIScan", CdWriterControl::kOnSCSIScan, "hhhttth"},
    {"CommandDone", CdWriterControl::kCommandDone, ""},
    {"OnWritingProcess", CdWriterControl::kOnWritingProcess, "hll"},
    {"OnStatus", CdWriterControl::kOnStatus, "ht"},
}};

Value convert(char type, const Value& value) {
  switch (type) {
    case 'h':
      return Value(static_cast<std::int16_t>(value.toInteger()));
    case 'l':
      return Value(static_cast<std::int32_t>(value.toInteger()));
    default:
      return Value(cut(value.toText()));
  }
}

std::int16_t h(const std::vector<Value>& p, std::size_t i) {
  return static_cast<std::int16_t>(i < p.size() ? p[i].toInteger() : 0);
}
std::int32_t l(const std::vector<Value>& p, std::size_t i) {
  return static_cast<std::int32_t>(i < p.size() ? p[i].toInteger() : 0);
}
std::string t(const std::vector<Value>& p, std::size_t i) {
  return i < p.size() ? cut(p[i].toText()) : std::string();
}

}  // namespace

// --- Member texts
// ----------------------------------------------------------------------------------

std::string CdWriterControl::memberText(std::string_view prefix, int member,
                                        std::initializer_list<Argument> arguments) {
  std::string out(prefix);
  out += std::to_string(member);
  if (arguments.size() == 0) return out;
  out += '(';
  bool first = true;
  for (const Argument& a : arguments) {
    if (!first) out += ',';
    first = false;
    if (const auto* s = std::get_if<std::string_view>(&a)) {
      // A quote inside a text is doubled, so a path with one cannot end the argument early.
      out += marlo::activex::quoteArgument(withoutTrailingBlanks(*s));
    } else {
      out += std::to_string(std::get<std::int64_t>(a));
    }
  }
  out += ')';
  return out;
}

std::string CdWriterControl::text(int member, std::initializer_list<Argument> arguments) const {
  return memberText(OLEDISPATCH.view(), member, arguments);
}

std::int64_t CdWriterControl::readNumber(int member, std::initializer_list<Argument> arguments) {
  return get(text(member, arguments)).toInteger();
}

std::string CdWriterControl::readText(int property) {
  return get(text(property)).toText();
}

void CdWriterControl::assign(int property, Value value) {
  put(text(property), std::move(value));
}

// --- Life
// ------------------------------------------------------------------------------------------

bool CdWriterControl::init(marlo::win::Window& window, std::int32_t control) {
  OLECONTROLFILENAME = kFileName;
  return OleControl::init(window, control, kClassId);
}

void CdWriterControl::afterInit() {}

// --- Events
// ----------------------------------------------------------------------------------------

std::int32_t CdWriterControl::onControlEvent(const EventParameters& parameters) {
  const std::string name(withoutTrailingBlanks(lastEventName()));
  const EventShape* shape = nullptr;
  for (const EventShape& e : kEvents) {
    if (name == e.name) {
      shape = &e;
      break;
    }
  }
  if (shape == nullptr) return 0;
  const std::array<std::uint8_t, 5> switches{ENABLE_EVENT_ONERROR, ENABLE_EVENT_ONSCSISCAN,
                                             ENABLE_EVENT_COMMANDDONE,
                                             ENABLE_EVENT_ONWRITINGPROCESS, ENABLE_EVENT_ONSTATUS};
  if (switches[static_cast<std::size_t>(shape->number - 1)] == 0) return 0;
  auto values = std::make_unique<std::vector<Value>>();
  int position = 1;
  for (const char* type = shape->parameters; *type != '\0'; ++type) {
    values->push_back(convert(*type, parameters.at(position++)));
  }
  const std::vector<Value> direct = *values;
  if (!EVENTS) return 0;
  EVENTS->append(PendingEvent{shape->number, std::move(values)});
  dispatch(shape->number, direct, false);
  postToControl(kEventWaiting);
  return 0;
}

std::int32_t CdWriterControl::handleEvent() {
  if (OLEWINDOW == nullptr || OLEWINDOW->eventCode() != kEventWaiting || !EVENTS) return 0;
  std::optional<PendingEvent> entry =
      EVENTS->takeLast([](std::int32_t n) { return n >= kOnError && n <= kOnStatus; });
  if (!entry) return 0;
  const std::vector<Value> parameters = std::move(*entry->parameters);
  entry->parameters.reset();
  dispatch(entry->number, parameters, true);
  return 0;
}

void CdWriterControl::dispatch(std::int32_t number, const std::vector<Value>& p, bool queued) {
  switch (number) {
    case kOnError:
      queued ? OnErrorQueued(h(p, 0), t(p, 1)) : OnErrorDirect(h(p, 0), t(p, 1));
      break;
    case kOnSCSIScan:
      queued ? OnSCSIScanQueued(h(p, 0), h(p, 1), h(p, 2), t(p, 3), t(p, 4), t(p, 5), h(p, 6))
             : OnSCSIScanDirect(h(p, 0), h(p, 1), h(p, 2), t(p, 3), t(p, 4), t(p, 5), h(p, 6));
      break;
    case kCommandDone:
      queued ? CommandDoneQueued() : CommandDoneDirect();
      break;
    case kOnWritingProcess:
      queued ? OnWritingProcessQueued(h(p, 0), l(p, 1), l(p, 2))
             : OnWritingProcessDirect(h(p, 0), l(p, 1), l(p, 2));
      break;
    case kOnStatus:
      queued ? OnStatusQueued(h(p, 0), t(p, 1)) : OnStatusDirect(h(p, 0), t(p, 1));
      break;
    default:
      break;
  }
}

// --- Members
// ---------------------------------------------------------------------------------------

std::uint8_t CdWriterControl::Call18(std::string_view a) {
  return static_cast<std::uint8_t>(readNumber(18, {a}));
}
std::uint8_t CdWriterControl::Call19(std::string_view a) {
  return static_cast<std::uint8_t>(readNumber(19, {a}));
}
std::uint8_t CdWriterControl::Call20() {
  return static_cast<std::uint8_t>(readNumber(20));
}
std::uint8_t CdWriterControl::Call21() {
  return static_cast<std::uint8_t>(readNumber(21));
}
void CdWriterControl::Call22() {
  execute(text(22));
}
void CdWriterControl::Call23(std::int16_t n) {
  execute(text(23, {std::int64_t{n}}));
}
std::uint8_t CdWriterControl::Call24(std::string_view a) {
  return static_cast<std::uint8_t>(readNumber(24, {a}));
}
std::uint8_t CdWriterControl::Call25(std::string_view a) {
  return static_cast<std::uint8_t>(readNumber(25, {a}));
}
std::uint8_t CdWriterControl::Call26(std::string_view a, std::uint8_t n, std::string_view b) {
  return static_cast<std::uint8_t>(readNumber(26, {a, std::int64_t{n}, b}));
}
void CdWriterControl::Call27() {
  execute(text(27));
}
void CdWriterControl::Call28() {
  execute(text(28));
}
std::uint8_t CdWriterControl::Call29(std::string_view a) {
  return static_cast<std::uint8_t>(readNumber(29, {a}));
}
std::uint8_t CdWriterControl::Call30(std::string_view a, std::string_view b) {
  return static_cast<std::uint8_t>(readNumber(30, {a, b}));
}
std::int16_t CdWriterControl::Call31() {
  return static_cast<std::int16_t>(readNumber(31));
}
std::string CdWriterControl::Call32(std::int16_t n) {
  return cut(get(text(32, {std::int64_t{n}})).toText());
}
std::uint8_t CdWriterControl::Call33() {
  return static_cast<std::uint8_t>(readNumber(33));
}
void CdWriterControl::AboutBox() {
  execute(text(-552));
}

// --- Properties
// ------------------------------------------------------------------------------------

#define MARLO_NUMBER_PROPERTY(N, Type)           \
  Type CdWriterControl::GetProp##N() {           \
    return static_cast<Type>(readNumber(N));     \
  }                                              \
  void CdWriterControl::SetProp##N(Type value) { \
    assign(N, Value(std::int64_t{value}));       \
  }
#define MARLO_TEXT_PROPERTY(N)                               \
  std::string CdWriterControl::GetProp##N() {                \
    return readText(N);                                      \
  }                                                          \
  void CdWriterControl::SetProp##N(std::string_view value) { \
    assign(N, Value(value));                                 \
  }

MARLO_NUMBER_PROPERTY(1, std::int16_t)
MARLO_NUMBER_PROPERTY(2, std::int16_t)
MARLO_NUMBER_PROPERTY(3, std::int16_t)
MARLO_NUMBER_PROPERTY(4, std::int16_t)
MARLO_TEXT_PROPERTY(5)
MARLO_TEXT_PROPERTY(6)
MARLO_TEXT_PROPERTY(7)
MARLO_NUMBER_PROPERTY(8, std::int16_t)
MARLO_TEXT_PROPERTY(9)
MARLO_TEXT_PROPERTY(10)
MARLO_TEXT_PROPERTY(11)
MARLO_NUMBER_PROPERTY(12, std::int32_t)
MARLO_NUMBER_PROPERTY(13, std::uint8_t)
MARLO_NUMBER_PROPERTY(14, std::int16_t)
MARLO_NUMBER_PROPERTY(15, std::uint8_t)
MARLO_NUMBER_PROPERTY(16, std::int32_t)
MARLO_NUMBER_PROPERTY(17, std::uint8_t)

#undef MARLO_NUMBER_PROPERTY
#undef MARLO_TEXT_PROPERTY

// --- Event handlers
// --------------------------------------------------------------------------------

std::int32_t CdWriterControl::OnErrorQueued(std::int16_t, const std::string&) {
  return 0;
}
std::int32_t CdWriterControl::OnErrorDirect(std::int16_t, const std::string&) {
  return 0;
}
std::int32_t CdWriterControl::OnSCSIScanQueued(std::int16_t, std::int16_t, std::int16_t,
                                               const std::string&, const std::string&,
                                               const std::string&, std::int16_t) {
  return 0;
}
std::int32_t CdWriterControl::OnSCSIScanDirect(std::int16_t, std::int16_t, std::int16_t,
                                               const std::string&, const std::string&,
                                               const std::string&, std::int16_t) {
  return 0;
}
std::int32_t CdWriterControl::CommandDoneQueued() {
  return 0;
}
std::int32_t CdWriterControl::CommandDoneDirect() {
  return 0;
}
std::int32_t CdWriterControl::OnWritingProcessQueued(std::int16_t, std::int32_t, std::int32_t) {
  return 0;
}
std::int32_t CdWriterControl::OnWritingProcessDirect(std::int16_t, std::int32_t, std::int32_t) {
  return 0;
}
std::int32_t CdWriterControl::OnStatusQueued(std::int16_t, const std::string&) {
  return 0;
}
std::int32_t CdWriterControl::OnStatusDirect(std::int16_t, const std::string&) {
  return 0;
}

// --- The drive setting
// -----------------------------------------------------------------------------

std::string discWriterDrive() {
  return marlo::readProfileString("Disc writer", "Drive", "", kSettingsFile);
}

void useConfiguredDrive(CdWriterControl& control) {
  const std::string drive = discWriterDrive();
  if (!drive.empty()) control.SetProp9(drive);
}

}  // namespace app
