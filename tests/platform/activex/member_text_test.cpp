// Member texts: every shape the program writes parses to the member and typed arguments it
// means, and texts that do not parse say why instead of guessing.
#include "platform/activex/member_text.h"

#include <gtest/gtest.h>

namespace marlo::activex {
namespace {

MemberText parsed(std::string_view text) {
  const ParsedMember p = parseMemberText(text);
  EXPECT_TRUE(p.member.has_value()) << text << ": " << p.error;
  return p.member.value_or(MemberText{});
}

TEST(MemberText, BareNumbersNameMembersAndProperties) {
  EXPECT_EQ(parsed("33").member, 33);
  EXPECT_FALSE(parsed("33").withArgs);
  EXPECT_EQ(parsed("-552").member, -552);
  EXPECT_EQ(parsed(" 13 ").member, 13);
  EXPECT_TRUE(parsed("28()").withArgs);
  EXPECT_TRUE(parsed("28()").args.empty());
}

TEST(MemberText, ArgumentsKeepTheirTypesAndOrder) {
  const MemberText m = parsed("26(\"c:\\a b.lzh\",1,\"\\Backup\\\")");
  EXPECT_EQ(m.member, 26);
  ASSERT_EQ(m.args.size(), 3u);
  EXPECT_EQ(m.args[0], Value("c:\\a b.lzh"));
  EXPECT_EQ(m.args[1], Value(std::int64_t{1}));
  EXPECT_EQ(m.args[2], Value("\\Backup\\"));

  EXPECT_EQ(parsed("24(\"\")").args.at(0), Value(""));
  EXPECT_EQ(parsed("23(-7)").args.at(0), Value(std::int64_t{-7}));
  EXPECT_EQ(parsed("23(+7)").args.at(0), Value(std::int64_t{7}));
  EXPECT_EQ(parsed("23(2.5)").args.at(0), Value(2.5));
  EXPECT_EQ(parsed("30( \"a\" , \"b\" )").args.size(), 2u);
}

TEST(MemberText, QuotesInsideATextAreDoubled) {
  const std::string text = "say \"hi\", \"(x)\"";
  EXPECT_EQ(quoteArgument(text), "\"say \"\"hi\"\", \"\"(x)\"\"\"");
  EXPECT_EQ(parsed("24(" + quoteArgument(text) + ")").args.at(0), Value(text));
  EXPECT_EQ(quoteArgument(""), "\"\"");
}

TEST(MemberText, AnObjectReferenceComesFirst) {
  const MemberText m = parsed("`12.5(1)");
  EXPECT_EQ(m.object, "`12");
  EXPECT_EQ(m.member, 5);
}

TEST(MemberText, TextsThatDoNotParseSayWhy) {
  for (const char* bad :
       {"", "   ", "x", "24(\"a\"", "24(\"a\",)", "24(a)", "24)", "24(1) x", "24(1", "9999999999",
        "`x.3", "`12", "`12.", "24(,1)", "24(\"a\"1)", "23(-)", "23(.)", "23(1e999999)"}) {
    const ParsedMember p = parseMemberText(bad);
    EXPECT_FALSE(p.member.has_value()) << bad;
    EXPECT_NE(p.error.find("member text"), std::string::npos) << bad;
  }
  EXPECT_NE(parseMemberText("24(\"a").error.find("no closing quote"), std::string::npos);
}

TEST(Value, NumbersAndTextsConvertBothWays) {
  EXPECT_EQ(Value("42").toInteger(), 42);
  EXPECT_EQ(Value(" 42 ").toInteger(), 42);
  EXPECT_EQ(Value("4x").toInteger(), 0);
  EXPECT_EQ(Value("2.75").toInteger(), 2);
  EXPECT_EQ(Value(std::int64_t{-3}).toText(), "-3");
  EXPECT_EQ(Value(2.5).toText(), "2.5");
  EXPECT_EQ(Value().toText(), "");
  EXPECT_EQ(Value().toInteger(), 0);
  EXPECT_EQ(Value(1e300).toInteger(), INT64_MAX);
}

}  // namespace
}  // namespace marlo::activex
