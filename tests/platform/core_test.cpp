#include <gtest/gtest.h>

#include "platform/core/clock.h"
#include "platform/core/number.h"
#include "platform/core/picture.h"
#include "platform/core/text.h"

namespace marlo {
namespace {

TEST(FixedTexts, ZeroTerminatedHoldsOneLessThanItsBytes) {
  CString<6> text;
  text = "abcd";  // N-2
  EXPECT_EQ(text.view(), "abcd");
  text = "abcde";  // N-1 fits whole
  EXPECT_EQ(text.view(), "abcde");
  text = "abcdef";  // N is cut
  EXPECT_EQ(text.view(), "abcde");
  text = "abcdefg";  // N+1 is cut
  EXPECT_EQ(text.view(), "abcde");
  EXPECT_EQ(text.c_str()[5], '\0');
  text = "ab";  // a shorter text leaves nothing of the longer one behind
  EXPECT_EQ(text.view(), "ab");
  EXPECT_EQ(text.c_str()[3], '\0');
}

TEST(FixedTexts, BlankPaddedAlwaysHoldsItsWholeCapacity) {
  BlankString<5> text("ab");
  EXPECT_EQ(text.view(), "ab   ");
  EXPECT_EQ(text.clipped(), "ab");
  text = "abcdefg";
  EXPECT_EQ(text.view(), "abcde");
  text = "";
  EXPECT_EQ(text.view(), "     ");
  EXPECT_TRUE(text == "");
}

TEST(FixedTexts, HeapTextStopsAtTheFirstZeroAndIsAlwaysTerminated) {
  HeapText text(8, HeapText::Fill::Blank);
  EXPECT_EQ(text.view(), "        ");
  EXPECT_EQ(text.clipped(), "");
  text = "0123456789";
  EXPECT_EQ(text.view(), "01234567");
  EXPECT_EQ(text.c_str()[8], '\0');
  text.data()[3] = '\0';  // as a C function leaves its report
  EXPECT_EQ(text.view(), "012");
  HeapText copy = text;
  EXPECT_EQ(copy.view(), "012");
}

TEST(Numbers, TextThatIsNotANumberIsZero) {
  EXPECT_EQ(toInteger("42"), 42);
  EXPECT_EQ(toInteger("  -17  "), -17);
  EXPECT_EQ(toInteger("+8"), 8);
  EXPECT_EQ(toInteger("3.9"), 3);
  EXPECT_EQ(toInteger(""), 0);
  EXPECT_EQ(toInteger("abc"), 0);
  EXPECT_EQ(toInteger("12abc"), 0);
  EXPECT_EQ(toInteger("9223372036854775807"), INT64_MAX);
  EXPECT_EQ(toInteger("1e400"), 0);  // not a plain decimal
  EXPECT_EQ(toInteger("99999999999999999999999"), INT64_MAX);
  EXPECT_DOUBLE_EQ(toReal("2.5"), 2.5);
  EXPECT_EQ(toText(-5), "-5");
}

TEST(Pictures, NumbersGroupPadAndSign) {
  EXPECT_EQ(formatPicture("n13", "1234567"), "    1,234,567");
  EXPECT_EQ(formatPicture("n13", "0"), "            0");
  EXPECT_EQ(formatPicture("n13", "12345"), "       12,345");  // every length of leading group
  EXPECT_EQ(formatPicture("n13", "123456"), "      123,456");
  EXPECT_EQ(formatPicture("n3", "42"), " 42");
  EXPECT_EQ(formatPicture("n-14", "-1234567"), "    -1,234,567");
  EXPECT_EQ(formatPicture("n-14", "999"), "           999");
  EXPECT_EQ(formatPicture("@n_6", "1234567"), "######");  // too wide
  EXPECT_EQ(formatPicture("n_6", "123456"), "123456");
  EXPECT_EQ(formatPicture("n_6", "7"), "     7");
  EXPECT_EQ(formatPicture("n_11", "4320001"), "    4320001");
  EXPECT_EQ(formatPicture("n3", "1000"), "###");
  EXPECT_EQ(formatPicture("n3", "999"), "999");
  EXPECT_EQ(formatPicture("n06", "42"), "000042");
  EXPECT_EQ(formatPicture("n6b", "0"), "      ");
  EXPECT_EQ(formatPicture("n10.2", "1234.5"), "  1,234.50");
  EXPECT_EQ(formatPicture("n4", "-1000"), "####");
}

TEST(Pictures, NumbersReadBack) {
  EXPECT_EQ(deformatPicture("n13", "  1,234,567"), "1234567");
  EXPECT_EQ(deformatPicture("n-14", "-12"), "-12");
  EXPECT_EQ(deformatPicture("n_6", ""), "0");
  EXPECT_EQ(deformatPicture("n_6", "12x"), std::nullopt);
}

TEST(Pictures, TextsDatesAndTimes) {
  EXPECT_EQ(formatPicture("s5", "abcdefg"), "abcde");
  EXPECT_EQ(formatPicture("S255", "abc"), "abc");
  EXPECT_EQ(formatPicture("t4", "4320001"), "12:00:00");
  EXPECT_EQ(formatPicture("T4", "1"), "00:00:00");
  EXPECT_EQ(formatPicture("t4", "0"), "");
  EXPECT_EQ(formatPicture("t1", "4320001"), "12:00");
  EXPECT_EQ(deformatPicture("t4", "12:00:00"), "4320001");
  EXPECT_EQ(deformatPicture("t4", "23:59:59"), "8639901");
  EXPECT_EQ(deformatPicture("t4", "24:00:00"), std::nullopt);
  EXPECT_EQ(deformatPicture("t4", "12:61"), std::nullopt);

  setShortDateFormat("%d.%m.%Y");
  const std::string day = toText(toDayNumber({2026, 12, 7}));
  EXPECT_EQ(formatPicture("d17", day), "07.12.2026");
  EXPECT_EQ(formatPicture("D17", day), "07.12.2026");
  EXPECT_EQ(deformatPicture("d17", "07.12.2026"), day);
  EXPECT_EQ(deformatPicture("d17", "31.02.2026"), std::nullopt);
  EXPECT_EQ(formatPicture("d17", "0"), "");
  EXPECT_EQ(formatPicture("d2", day), "12/07/2026");
  EXPECT_FALSE(Picture::parse("x9").has_value());
  EXPECT_FALSE(Picture::parse("n").has_value());
}

TEST(Clock, DayNumbersAndStandardTimes) {
  EXPECT_EQ(toDayNumber({1801, 1, 1}), 4);
  EXPECT_EQ(toCivilDate(toDayNumber({2000, 2, 29})), (CivilDate{2000, 2, 29}));
  EXPECT_FALSE(dayNumberIfValid({2001, 2, 29}).has_value());
  EXPECT_EQ(toStandardTime({12, 0, 0, 0}), 4320001);
  EXPECT_FALSE(toTimeOfDay(kNoTime).has_value());
  EXPECT_EQ(toTimeOfDay(8639901)->seconds, 59);
}

TEST(Clock, AManualClockMovesOnlyWhenAdvancedAndCrossesMidnight) {
  Clock clock;
  EXPECT_FALSE(clock.isManual());
  const DayNumber day = toDayNumber({2026, 12, 7});
  clock.setManual({day, toStandardTime({23, 59, 59, 0})});
  EXPECT_EQ(clock.timeOfDay(), toStandardTime({23, 59, 59, 0}));
  clock.advance(150);
  EXPECT_EQ(clock.today(), day + 1);
  EXPECT_EQ(clock.timeOfDay(), toStandardTime({0, 0, 0, 50}));
  clock.advance(-100);
  EXPECT_EQ(clock.today(), day);
}

}  // namespace
}  // namespace marlo
