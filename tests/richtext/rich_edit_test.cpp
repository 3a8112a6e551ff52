// The search under the find window and the program's search: where a match may start and end
// in each direction, and what a whole word is.
#include <gtest/gtest.h>

#include <QTextCursor>
#include <QTextDocument>

#include "richtext/rich_edit.h"

namespace {

namespace rt = marlo::richtext;
using rt::find_flag::Down;
using rt::find_flag::MatchCase;
using rt::find_flag::WholeWord;

int find(const char* text, const char* what, int from, int to, unsigned flags) {
  QTextDocument doc;
  QTextCursor(&doc).insertText(QString::fromUtf8(text));
  return rt::findText(doc, QString::fromUtf8(what), from, to, flags);
}

TEST(TextSearch, DownTakesMatchesThatStartAtFromAndEndByTo) {
  EXPECT_EQ(find("abc abc", "abc", 0, 7, Down), 0);
  EXPECT_EQ(find("abc abc", "abc", 1, 7, Down), 4);
  EXPECT_EQ(find("abc abc", "abc", 1, 6, Down), -1) << "it would end past the limit";
  EXPECT_EQ(find("abc abc", "abc", 7, 7, Down), -1);
  EXPECT_EQ(find("abc", "", 0, 3, Down), -1);
}

TEST(TextSearch, UpTakesTheNearestMatchEndingByFromAndStartingAtToOrAfter) {
  EXPECT_EQ(find("abc abc", "abc", 7, 0, 0), 4);
  EXPECT_EQ(find("abc abc", "abc", 6, 0, 0), 0) << "a match across the start is not taken";
  EXPECT_EQ(find("abc abc", "abc", 3, 0, 0), 0);
  EXPECT_EQ(find("abc abc", "abc", 2, 0, 0), -1);
  EXPECT_EQ(find("abc abc", "abc", 7, 1, 0), 4);
  EXPECT_EQ(find("abc abc", "abc", 0, 0, 0), -1);
}

TEST(TextSearch, AWholeWordStandsBetweenNonWordCharactersOrTheTextsEnds) {
  EXPECT_EQ(find("word", "word", 0, 4, Down | WholeWord), 0);
  EXPECT_EQ(find("sword word_ (word)", "word", 0, 18, Down | WholeWord), 13);
  EXPECT_EQ(find("sword word_ (word)", "word", 18, 0, WholeWord), 13);
  EXPECT_EQ(find("wordy", "word", 0, 5, Down | WholeWord), -1);
  EXPECT_EQ(find("Čvor čvor", "čvor", 0, 9, Down | MatchCase), 5) << "case beyond ASCII";
  EXPECT_EQ(find("Čvor čvor", "čvor", 0, 9, Down), 0);
}

TEST(TextSearch, ParagraphEndsCountAsOneCharacter) {
  EXPECT_EQ(find("first\nsecond", "second", 0, 12, Down), 6);
  EXPECT_EQ(find("first\nsecond", "first", 12, 0, WholeWord), 0);
}

}  // namespace
