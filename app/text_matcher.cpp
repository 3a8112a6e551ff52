#include "app/text_matcher.h"

#include <cctype>

namespace app {

namespace {

bool isWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

bool sameChar(char a, char b, bool noCase) {
  if (!noCase) return a == b;
  return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
}

}  // namespace

void TextMatcher::init(bool noCase, bool wordOnly) {
  noCase_ = noCase;
  wordOnly_ = wordOnly;
}

void TextMatcher::kill() {
  *this = TextMatcher();
}

bool TextMatcher::contains(std::string_view text, std::string_view wanted) const {
  if (wanted.empty()) return true;
  for (std::size_t at = 0; at + wanted.size() <= text.size(); ++at) {
    std::size_t i = 0;
    while (i < wanted.size() && sameChar(text[at + i], wanted[i], noCase_)) ++i;
    if (i != wanted.size()) continue;
    if (!wordOnly_) return true;
    const bool startsWord = at == 0 || !isWordChar(text[at - 1]);
    const std::size_t end = at + wanted.size();
    const bool endsWord = end == text.size() || !isWordChar(text[end]);
    if (startsWord && endsWord) return true;
  }
  return false;
}

}  // namespace app
