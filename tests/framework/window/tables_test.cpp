// The toolbar's packed tip tables and the Windows-1250 texts they hold.
#include <gtest/gtest.h>

#include <vector>

#include "framework/window/toolbar_tables.h"
#include "framework/window/windows1250.h"

namespace marlo {
namespace {

TEST(Windows1250, CroatianLettersAndUnassignedBytes) {
  EXPECT_EQ(windows1250ToUtf8("jo\x9a"), "još");
  EXPECT_EQ(windows1250ToUtf8("\x8a\x9a\xc8\xe8\xc6\xe6\x8e\x9e\xd0\xf0"), "ŠšČčĆćŽžĐđ");
  EXPECT_EQ(windows1250ToUtf8("\x80\x96"), "€–");
  EXPECT_EQ(windows1250ToUtf8("plain ASCII"), "plain ASCII");
  // Bytes the code page leaves unassigned never make invalid UTF-8.
  EXPECT_EQ(windows1250ToUtf8("\x81\x83\x88\x90\x98"), "\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD");
}

TEST(ToolbarTips, InsertFormTips) {
  const auto tips = unpackTips(insertFormTips());
  ASSERT_EQ(tips.size(), 2u);
  EXPECT_EQ(tips[0].control, 3001);
  EXPECT_EQ(tips[0].text, "Spremi zapis i dodaj još jedan");
  EXPECT_EQ(tips[1].control, 3009);
  EXPECT_EQ(tips[1].text, "Spremi zapis i dodaj još jedan");
}

TEST(ToolbarTips, ChangeFormTipsInTheirOrder) {
  const auto tips = unpackTips(changeFormTips());
  const std::vector<std::pair<int, std::string>> expected = {
      {3005, "Spremi zapis i idi na kraj liste"},
      {3006, "Spremi zapis i idi na početak liste"},
      {3007, "Spremi zapis i idi stranicu dolje"},
      {3008, "Spremi promjene i idi stranicu gore"},
      {3009, "Spremi promjene i idi na sljedeći zapis"},
      {3010, "Spremi promjene i idi na prethodni zapis"},
      {3001, "Spremi ovaj zapis i dodaj novi"},
  };
  ASSERT_EQ(tips.size(), expected.size());
  for (std::size_t i = 0; i < tips.size(); ++i) {
    EXPECT_EQ(tips[i].control, expected[i].first);
    EXPECT_EQ(tips[i].text, expected[i].second);
  }
}

TEST(ToolbarTips, PackedLayout) {
  const auto table = insertFormTips();
  // Count, then 3001 little-endian (0x0BB9), the length and the Windows-1250 characters.
  ASSERT_GE(table.size(), 4u);
  EXPECT_EQ(table[0], 2);
  EXPECT_EQ(table[1], 0xB9);
  EXPECT_EQ(table[2], 0x0B);
  EXPECT_EQ(table[3], 30);
  EXPECT_EQ(table[3 + 24], 0x9A);  // "š" of "još", one byte as stored
  EXPECT_EQ(table.size(), 1u + 2 * (3 + 30));
}

TEST(ToolbarTips, ATableThatEndsEarlyGivesItsWholeEntriesOnly) {
  const auto full = changeFormTips();
  const std::vector<std::uint8_t> cut(full.begin(), full.begin() + 1 + 3 + 32 + 3 + 5);
  const auto tips = unpackTips(cut);
  ASSERT_EQ(tips.size(), 1u);
  EXPECT_EQ(tips[0].control, 3005);
  EXPECT_TRUE(unpackTips({}).empty());
}

}  // namespace
}  // namespace marlo
