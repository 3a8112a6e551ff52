// Finding text in the editor: the search settings every editor of the process shares, kept
// between searches and shown again each time the search window opens.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/core/text.h"

namespace marlo::richtext {

inline CString<256> FindWhat;
inline std::int32_t FindWholeWords = 0;
inline std::int32_t FindCaseSensitive = 0;
inline std::int32_t FindDirection = 1;  // 1 down (towards the end), 0 up

// The search window's controls, as their numbers.
enum class FindControl : int {
  SearchString = 1,
  WholeWords,
  Direction,
  Up,
  Down,
  CaseSensitive,
  FindNext,
  Cancel,
  Prompt,
};

inline constexpr std::string_view kFindTitle = "Find";

}  // namespace marlo::richtext
