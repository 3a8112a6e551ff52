#include "platform/activex/member_text.h"

#include <charconv>
#include <cstdint>
#include <limits>

namespace marlo::activex {
namespace {

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  ParsedMember parse() {
    MemberText out;
    skipBlanks();
    if (atEnd()) return fail("the member text is empty");
    if (peek() == '`') {
      const std::size_t start = pos_++;
      if (!readDigits()) return fail("an object reference needs a number after the backquote");
      out.object = std::string(text_.substr(start, pos_ - start));
      if (atEnd() || peek() != '.') return fail("expected \".\" after the object reference");
      ++pos_;
      skipBlanks();
    }
    const std::size_t numberAt = pos_;
    if (!atEnd() && (peek() == '-' || peek() == '+')) ++pos_;
    if (!readDigits()) return failAt(numberAt, "expected a dispatch number");
    std::int64_t member = 0;
    const std::string_view digits = text_.substr(numberAt, pos_ - numberAt);
    const std::string_view unsigned_ = digits.front() == '+' ? digits.substr(1) : digits;
    const auto r = std::from_chars(unsigned_.data(), unsigned_.data() + unsigned_.size(), member);
    if (r.ec != std::errc() || member < std::numeric_limits<int>::min() ||
        member > std::numeric_limits<int>::max()) {
      return failAt(numberAt, "the dispatch number is out of range");
    }
    out.member = static_cast<int>(member);
    skipBlanks();
    if (!atEnd() && peek() == '(') {
      out.withArgs = true;
      ++pos_;
      skipBlanks();
      if (!atEnd() && peek() == ')') {
        ++pos_;
      } else {
        for (;;) {
          skipBlanks();
          std::optional<Value> arg = readArgument();
          if (!arg) return ParsedMember{{}, error_};
          out.args.push_back(std::move(*arg));
          skipBlanks();
          if (atEnd()) return fail("missing \")\" after the arguments");
          if (peek() == ',') {
            ++pos_;
            continue;
          }
          if (peek() == ')') {
            ++pos_;
            break;
          }
          return failAt(pos_, "expected \",\" or \")\"");
        }
      }
      skipBlanks();
    }
    if (!atEnd()) return failAt(pos_, "unexpected text after the member");
    return ParsedMember{std::move(out), {}};
  }

 private:
  [[nodiscard]] bool atEnd() const { return pos_ >= text_.size(); }
  [[nodiscard]] char peek() const { return text_[pos_]; }
  void skipBlanks() {
    while (!atEnd() && (peek() == ' ' || peek() == '\t')) ++pos_;
  }
  bool readDigits() {
    const std::size_t start = pos_;
    while (!atEnd() && peek() >= '0' && peek() <= '9') ++pos_;
    return pos_ > start;
  }

  std::optional<Value> readArgument() {
    if (atEnd()) {
      failAt(pos_, "missing argument");
      return std::nullopt;
    }
    if (peek() == '"') return readText();
    return readNumber();
  }

  std::optional<Value> readText() {
    const std::size_t start = pos_++;
    std::string value;
    for (;;) {
      if (atEnd()) {
        failAt(start, "a text argument has no closing quote");
        return std::nullopt;
      }
      const char c = text_[pos_++];
      if (c != '"') {
        value += c;
        continue;
      }
      if (!atEnd() && peek() == '"') {  // a doubled quote stands for one
        value += '"';
        ++pos_;
        continue;
      }
      return Value(std::move(value));
    }
  }

  std::optional<Value> readNumber() {
    const std::size_t start = pos_;
    if (peek() == '-' || peek() == '+') ++pos_;
    const bool whole = readDigits();
    bool fraction = false;
    if (!atEnd() && peek() == '.') {
      ++pos_;
      fraction = readDigits();
    }
    if (!whole && !fraction) {
      failAt(start, "expected a quoted text or a number");
      return std::nullopt;
    }
    std::string_view number = text_.substr(start, pos_ - start);
    if (number.front() == '+') number.remove_prefix(1);
    if (number.find('.') == std::string_view::npos) {
      std::int64_t v = 0;
      const auto r = std::from_chars(number.data(), number.data() + number.size(), v);
      if (r.ec == std::errc()) return Value(v);
    }
    double v = 0;
    const auto r = std::from_chars(number.data(), number.data() + number.size(), v);
    if (r.ec != std::errc()) {
      failAt(start, "the number is out of range");
      return std::nullopt;
    }
    return Value(v);
  }

  ParsedMember fail(std::string why) {
    error_ = "member text \"" + std::string(text_) + "\": " + std::move(why);
    return ParsedMember{{}, error_};
  }
  ParsedMember failAt(std::size_t at, std::string why) {
    return fail(std::move(why) + " at position " + std::to_string(at + 1));
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  std::string error_;
};

}  // namespace

ParsedMember parseMemberText(std::string_view text) {
  return Parser(text).parse();
}

std::string quoteArgument(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    out += c;
    if (c == '"') out += '"';
  }
  out += '"';
  return out;
}

}  // namespace marlo::activex
