// Member texts: how the program names a member of a hosted control. A member text is an
// optional object reference ("`7." names an object a member returned earlier), the member's
// dispatch number, and, for members with arguments, the arguments in parentheses:
//
//   33            24("c:\temp_iso.iso")            26("a.lzh",1,"\Backup\")            -552
//
// A text argument is wrapped in double quotes, with a double quote inside it written twice; a
// number is written in decimal (a sign and a fraction are allowed). Blanks between the parts
// are ignored.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/activex/dispatch.h"

namespace marlo::activex {

struct MemberText {
  std::string object;       // the object reference ("`7"); empty: the control itself
  int member = 0;           // the dispatch number
  bool withArgs = false;    // written with parentheses, even empty ones
  std::vector<Value> args;  // Text for quoted arguments, Integer or Real for numbers
};

struct ParsedMember {
  std::optional<MemberText> member;
  std::string error;  // why the text does not parse, when member is empty
};

[[nodiscard]] ParsedMember parseMemberText(std::string_view text);

// A text as a member text's argument: in double quotes, inner quotes doubled.
[[nodiscard]] std::string quoteArgument(std::string_view text);

}  // namespace marlo::activex
