// The command lines of the Restore window and the text of the Original size column.
#include <gtest/gtest.h>

#include "app/restore/listing.h"
#include "app/restore/restore_commands.h"

namespace {

TEST(RestoreCommandLine, QuotesBothPathsAndKeepsTheSeparatorAndSwitchesAsWritten) {
  EXPECT_EQ(app::restoreCommandLine(app::kExtractCommand, "E:\\B\\SAVE.LZH", "F:\\OUT"),
            "x \"E:\\B\\SAVE.LZH\" \"F:\\OUT\\\" -jf0 -gj0 -c -jyo0 -l1");
  EXPECT_EQ(app::restoreCommandLine(app::kTestCommand, "/b/My Backups/a.lzh", "/r/Out Here  "),
            "T \"/b/My Backups/a.lzh\" \"/r/Out Here\\\" -jf0 -gj0 -c -jyo0 -l1");
  // An empty folder leaves the separator alone; one that ends in a separator gets another.
  EXPECT_EQ(app::restoreCommandLine(app::kExtractCommand, "a.lzh", ""),
            "x \"a.lzh\" \"\\\" -jf0 -gj0 -c -jyo0 -l1");
  EXPECT_EQ(app::restoreCommandLine(app::kExtractCommand, "a.lzh", "F:\\"),
            "x \"a.lzh\" \"F:\\\\\" -jf0 -gj0 -c -jyo0 -l1");
  EXPECT_EQ(app::listCommandLine("/b/My Backups/a.lzh   "), "-l1 \"/b/My Backups/a.lzh\"");
  EXPECT_EQ(app::listCommandLine(""), "-l1 \"\"");
}

TEST(OriginalSizeColumn, FoldersCommasAndSizesTooWideForTwelveCharacters) {
  EXPECT_EQ(app::originalSizeText(0), "<DIR>");
  EXPECT_EQ(app::originalSizeText(1), "           1");
  EXPECT_EQ(app::originalSizeText(12345), "      12,345");
  EXPECT_EQ(app::originalSizeText(1234567), "   1,234,567");
  EXPECT_EQ(app::originalSizeText(999999999), " 999,999,999");
  // Shown whole rather than cut to another number.
  EXPECT_EQ(app::originalSizeText(1000000000), "1,000,000,000");
  EXPECT_EQ(app::originalSizeText(4294967295U), "4,294,967,295");
}

}  // namespace

namespace {

TEST(GroupedNumber, CommasBetweenGroupsOfThreeForEveryLengthAndSign) {
  EXPECT_EQ(app::groupedNumber(0, 5), "    0");
  EXPECT_EQ(app::groupedNumber(11, 5), "   11");
  EXPECT_EQ(app::groupedNumber(999, 0), "999");
  EXPECT_EQ(app::groupedNumber(12345, 0), "12,345");
  EXPECT_EQ(app::groupedNumber(123456, 0), "123,456");
  EXPECT_EQ(app::groupedNumber(12345678, 0), "12,345,678");
  EXPECT_EQ(app::groupedNumber(-1234, 7), " -1,234");
  EXPECT_EQ(app::groupedNumber(-2147483648LL, 14), "-2,147,483,648");
}

}  // namespace
