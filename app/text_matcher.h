// The text-matching object the program sets up at start: finds a text in another, with or
// without regard to case, anywhere or as a whole word only.
#pragma once

#include <string_view>

namespace app {

class TextMatcher {
 public:
  void init(bool noCase, bool wordOnly);
  void kill();

  // Whether `text` contains `wanted` under the options set at init. Empty `wanted` matches.
  [[nodiscard]] bool contains(std::string_view text, std::string_view wanted) const;

  [[nodiscard]] bool noCase() const { return noCase_; }
  [[nodiscard]] bool wordOnly() const { return wordOnly_; }

 private:
  bool noCase_ = false;
  bool wordOnly_ = false;
};

}  // namespace app
