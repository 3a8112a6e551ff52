// The reader on files as word processors write them (committed by hand under data/) and on
// hostile input: text intact, formats where the editor can show them, nothing else.
#include <gtest/gtest.h>

#include <QTextCursor>
#include <QTextDocument>

#include "richtext/rtf.h"
#include "richtext/rtf_parser.h"
#include "rtf_test_util.h"

using namespace marlo::richtext;
using richtext_test::dataFile;
using richtext_test::describe;
using richtext_test::paragraphs;

namespace {

QStringList readParagraphs(QByteArrayView rtf) {
  QTextDocument doc;
  readRtf(rtf, doc);
  return paragraphs(doc);
}

QStringList readFile(const char* name, QTextDocument& doc) {
  const QByteArray bytes = dataFile(name);
  EXPECT_FALSE(bytes.isEmpty()) << name;
  readRtf(bytes, doc);
  return paragraphs(doc);
}

}  // namespace

TEST(RtfReaderFiles, CodePage1250FromTheFontCharsetAndTheDocument) {
  QTextDocument doc;
  EXPECT_EQ(readFile("cp1250.rtf", doc),
            QStringList({u"Šum češće željeznički Čvor, Đurđa"_qs, u"Café naïve žŕba"_qs}));
  const QStringList d = describe(doc);
  EXPECT_EQ(d[0], u"left [Calibri 11]Šum češće željeznički Čvor, Đurđa"_qs);
  EXPECT_EQ(d[1], u"left [Arial 11]Café naïve[Calibri 11] [Calibri 11 fg#ff0000]žŕba"_qs);
}

TEST(RtfReaderFiles, CodePage1252WordDocumentWithStylesInfoAndThemeSkipped) {
  QTextDocument doc;
  EXPECT_EQ(readFile("cp1252.rtf", doc),
            QStringList({u"Price: €10 “quoted” — done"_qs, u"Right aligned…"_qs}));
  const QStringList d = describe(doc);
  EXPECT_EQ(d[0], u"left [Times New Roman 12]Price: €10 “quoted” — done"_qs);
  EXPECT_EQ(d[1], u"right [Arial 10 B I]Right aligned…"_qs);
}

TEST(RtfReaderFiles, UnicodeWithFallbacksDoubleByteFontsAndSurrogates) {
  QTextDocument doc;
  EXPECT_EQ(readFile("unicode.rtf", doc),
            QStringList({u"Привет Γειά"_qs, u"日本 after"_qs, u"日本 bytes"_qs, u"€ euro"_qs,
                         u"😀 smile Ａ wide"_qs}));
}

TEST(RtfReaderFiles, NestedGroupsRestoreFormatsAndUnknownDestinationsAreSkipped) {
  QTextDocument doc;
  EXPECT_EQ(readFile("nested.rtf", doc),
            QStringList({u"Plain bold bold-italic all three blue back bold plain"_qs,
                         u"Centered big mono"_qs, u"deep"_qs,
                         u"Escapes: {braces} and \\backslash\u00A0nbsp"_qs}));
  const QStringList d = describe(doc);
  EXPECT_EQ(d[0],
            u"left [Arial 12]Plain [Arial 12 B]bold [Arial 12 B I]bold-italic [Arial 12 B I U]all "
            "three [Arial 12 fg#0000ff B I U]blue[Arial 12 B I] back[Arial 12 B] bold[Arial 12] "
            "plain"_qs);
  EXPECT_EQ(d[1], u"center [Courier New 20]Centered big mono"_qs);
}

TEST(RtfReaderFiles, FieldsShowTheirResultNotTheirInstruction) {
  QTextDocument doc;
  EXPECT_EQ(readFile("fields.rtf", doc),
            QStringList({u"See the site today."_qs, u"Page 3 of 7."_qs, u"Date: 1.2.2024"_qs}));
  EXPECT_TRUE(describe(doc)[0].contains(u"[Arial 12 fg#0000ff U]the site"_qs));
}

TEST(RtfReaderFiles, TableRowsBecomeLinesWithCellsApart) {
  QTextDocument doc;
  EXPECT_EQ(readFile("tables.rtf", doc),
            QStringList({u"Before table"_qs, u"Name\tSize\tDate"_qs, u"notes.txt\t1,024"_qs,
                         u"two\u2028lines\tbold cell"_qs, u"outer\tinner"_qs, u"After table"_qs}));
}

TEST(RtfReaderFiles, PicturesObjectsAndBinaryDataLeaveOnlyText) {
  QTextDocument doc;
  EXPECT_EQ(readFile("images.rtf", doc),
            QStringList({u"Picture:  end"_qs, u"Binary:  ok"_qs, u"Object: Chart text"_qs}));
}

TEST(RtfReaderFiles, WordListsByOverrideAndLevel) {
  QTextDocument doc;
  EXPECT_EQ(readFile("word_lists.rtf", doc),
            QStringList({u"Intro"_qs, u"apple"_qs, u"apple two"_qs, u"between"_qs, u"first"_qs,
                         u"sub"_qs, u"second"_qs}));
  const QStringList d = describe(doc);
  const QString disc = QString::number(QTextListFormat::ListDisc);
  const QString decimal = QString::number(QTextListFormat::ListDecimal);
  const QString alpha = QString::number(QTextListFormat::ListLowerAlpha);
  EXPECT_TRUE(d[0].startsWith(u"left ["_qs));
  EXPECT_TRUE(d[1].startsWith(QStringLiteral("left list") + disc + QStringLiteral("#0")));
  EXPECT_TRUE(d[2].startsWith(QStringLiteral("left list") + disc + QStringLiteral("#1")));
  EXPECT_TRUE(d[3].startsWith(u"left ["_qs));
  EXPECT_TRUE(d[4].startsWith(QStringLiteral("left list") + decimal + QStringLiteral("#0")));
  EXPECT_TRUE(d[5].startsWith(QStringLiteral("left list") + alpha + QStringLiteral("#0")));
  // The same list goes on after its sub-list.
  EXPECT_TRUE(d[6].startsWith(QStringLiteral("left list") + decimal + QStringLiteral("#1")));
}

TEST(RtfReaderFiles, OldStyleNumberingJoinsNeighbours) {
  QTextDocument doc;
  EXPECT_EQ(readFile("wordpad_lists.rtf", doc),
            QStringList({u"one"_qs, u"two"_qs, u"first"_qs, u"second"_qs, u"roman"_qs, u""_qs,
                         u"plain"_qs}));
  const QStringList d = describe(doc);
  EXPECT_TRUE(d[1].startsWith(QStringLiteral("left list%1#1").arg(QTextListFormat::ListDisc)));
  EXPECT_TRUE(d[3].startsWith(QStringLiteral("left list%1#1").arg(QTextListFormat::ListDecimal)));
  EXPECT_TRUE(
      d[4].startsWith(QStringLiteral("left list%1#0").arg(QTextListFormat::ListUpperRoman)));
  EXPECT_FALSE(d[5].contains(u"list"_qs));
}

TEST(RtfReader, UnicodeSkipCountsAndSurrogates) {
  // \uc0: nothing to skip; \uc2: two fallback characters, a \'hh counting as one; a group's end
  // stops the skipping; a lone surrogate is replaced.
  EXPECT_EQ(readParagraphs("{\\rtf1 \\uc0\\u269 a\\uc2\\u269\\'63x b{\\u382 z}c}"),
            QStringList({u"čač bžc"_qs}));
  EXPECT_EQ(readParagraphs("{\\rtf1 \\u-10179?x \\u-8704?y}"),
            QStringList({u"\uFFFDx \uFFFDy"_qs}));
  // Values past 32767 come negative; both forms of U+FF21 read the same.
  EXPECT_EQ(readParagraphs("{\\rtf1 \\u-223?\\u65313?}"), QStringList({u"ＡＡ"_qs}));
}

TEST(RtfReader, CodePagesFromAnsicpgFontCharsetAndCpg) {
  EXPECT_EQ(readParagraphs("{\\rtf1\\ansi\\ansicpg1250 \\'e8\\'9a}"), QStringList({u"čš"_qs}));
  EXPECT_EQ(readParagraphs("{\\rtf1\\ansi \\'e8\\'9a}"), QStringList({u"èš"_qs}));
  EXPECT_EQ(readParagraphs("{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0\\fcharset204 X;}{\\f1"
                           "\\cpg1250 Y;}}\\f0\\'c4\\f1\\'c8}"),
            QStringList({u"ДČ"_qs}));
  // A page the system cannot convert reads as 1252.
  EXPECT_EQ(readParagraphs("{\\rtf1\\ansi\\ansicpg99999 \\'e9}"), QStringList({u"é"_qs}));
}

TEST(RtfReader, LinesSpecialCharactersAndHiddenText) {
  EXPECT_EQ(readParagraphs("{\\rtf1 a\\line b\\tab c\\emdash\\endash\\bullet\\lquote\\rquote"
                           "\\ldblquote\\rdblquote\\-\\_\\~{\\v hidden}\\u8233?d}"),
            QStringList({u"a\u2028b\tc—–•‘’“”\u00AD\u2011\u00A0\u2028d"_qs}));
  // A backslash before a line end is a paragraph mark.
  EXPECT_EQ(readParagraphs("{\\rtf1 one\\\ntwo\\\r\nthree}"),
            QStringList({u"one"_qs, u"two"_qs, u"three"_qs}));
  // The Unicode twin of an ANSI copy is read, the copy is not.
  EXPECT_EQ(readParagraphs("{\\rtf1 {\\upr{ansi}{\\*\\ud{uni}}} x}"), QStringList({u"uni x"_qs}));
}

TEST(RtfReader, LastParagraphWithoutMarkKeepsTheDocumentsFormat) {
  QTextDocument doc;
  readRtf("{\\rtf1\\qc {\\b one}\\par two}", doc);
  EXPECT_EQ(paragraphs(doc), QStringList({u"one"_qs, u"two"_qs}));
  EXPECT_EQ(doc.lastBlock().blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
  // A closing mark makes no empty paragraph after it.
  readRtf("{\\rtf1 one\\par two\\par}", doc);
  EXPECT_EQ(paragraphs(doc), QStringList({u"one"_qs, u"two"_qs}));
}

TEST(RtfReader, LoadingReplacesTheDocumentAndCannotBeUndone) {
  QTextDocument doc;
  doc.setPlainText(QStringLiteral("old text"));
  doc.setModified(true);
  readRtf("{\\rtf1 new}", doc);
  EXPECT_EQ(paragraphs(doc), QStringList({u"new"_qs}));
  EXPECT_FALSE(doc.isModified());
  EXPECT_FALSE(doc.isUndoAvailable());
  EXPECT_TRUE(doc.isUndoRedoEnabled());
}

TEST(RtfReaderHostile, BrokenAndTruncatedInputStillLoadsItsText) {
  EXPECT_EQ(readParagraphs("{\\rtf1 abc \\b bo"), QStringList({u"abc bo"_qs}));
  EXPECT_EQ(readParagraphs("{\\rtf1 a}}}} b"), QStringList({u"a"_qs}));
  EXPECT_EQ(readParagraphs("{\\rtf1 a\\'4"), QStringList({u"a"_qs}));
  EXPECT_EQ(readParagraphs("{\\rtf1 a\\'zz b\\"), QStringList({u"azz b"_qs}));
  EXPECT_EQ(readParagraphs("{\\rtf1 a{\\*\\x b"), QStringList({u"a"_qs}));
  EXPECT_EQ(readParagraphs("{\\rtf1 {\\pict\\bin999999999 abc}} x"), QStringList({u""_qs}));
  EXPECT_EQ(readParagraphs("{\\rtf1 \\bin-5 a\\u99999999999 b}"), QStringList({u"a\uFFFD"_qs}));
  EXPECT_EQ(readParagraphs(""), QStringList({u""_qs}));
  // Huge parameters are held within the editor's range.
  QTextDocument doc;
  readRtf("{\\rtf1 \\fs99999999999\\li-99999999999\\cf99999 big}", doc);
  EXPECT_EQ(doc.begin().begin().fragment().charFormat().fontPointSize(), 1638);
  EXPECT_GE(doc.begin().blockFormat().leftMargin(), -32000 / 15.0);
}

TEST(RtfReaderHostile, DeepNestingIsBoundedAndTheTextAfterItStays) {
  const int depth = 200000;
  QByteArray rtf = "{\\rtf1 before ";
  rtf += QByteArray(depth, '{') + "deep" + QByteArray(depth, '}');
  rtf += " after}";
  EXPECT_EQ(readParagraphs(rtf), QStringList({u"before  after"_qs}));
  // Formats set inside a group deeper than the bound do not leak out of it.
  const QByteArray open(kMaxGroupDepth + 5, '{');
  const QByteArray close(kMaxGroupDepth + 5, '}');
  QTextDocument doc;
  readRtf("{\\rtf1 " + open + "\\b x" + close + "y}", doc);
  QTextCursor end(&doc);
  end.movePosition(QTextCursor::End);
  EXPECT_EQ(doc.toPlainText(), u"y"_qs);
  EXPECT_EQ(end.charFormat().fontWeight(), QFont::Normal);
}
