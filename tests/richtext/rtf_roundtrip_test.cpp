// Our writer, read back by our reader: every format the editor holds comes back, and writing
// what was read gives the same bytes again.
#include <gtest/gtest.h>

#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

#include "richtext/rtf.h"
#include "rtf_test_util.h"

using namespace marlo::richtext;
using richtext_test::describe;
using richtext_test::paragraphs;

namespace {

QTextCharFormat font(const QString& family, double size) {
  QTextCharFormat f;
  f.setFontFamilies(QStringList{family});
  f.setFontPointSize(size);
  return f;
}

QTextCharFormat with(QTextCharFormat f, void (*change)(QTextCharFormat&)) {
  change(f);
  return f;
}

// A document with each thing the editor can hold at least once.
void fillEveryFormat(QTextDocument& doc) {
  doc.setDefaultFont(QFont(QStringLiteral("DejaVu Sans"), 10));
  QTextCursor c(&doc);
  const QTextCharFormat plain = font(QStringLiteral("Arial"), 12);
  QTextBlockFormat center;
  center.setAlignment(Qt::AlignHCenter);
  c.setBlockFormat(center);
  c.insertText(QStringLiteral("Plain "), plain);
  c.insertText(QStringLiteral("bold "), with(plain, [](auto& f) { f.setFontWeight(QFont::Bold); }));
  c.insertText(QStringLiteral("italic "), with(plain, [](auto& f) { f.setFontItalic(true); }));
  c.insertText(QStringLiteral("under "), with(plain, [](auto& f) { f.setFontUnderline(true); }));
  c.insertText(QStringLiteral("strike "), with(plain, [](auto& f) { f.setFontStrikeOut(true); }));
  c.insertText(QStringLiteral("all "), with(plain, [](auto& f) {
                 f.setFontWeight(QFont::Bold);
                 f.setFontItalic(true);
                 f.setFontUnderline(true);
                 f.setFontStrikeOut(true);
               }));
  c.insertText(QStringLiteral("red"), with(plain, [](auto& f) { f.setForeground(Qt::red); }));
  c.insertText(QStringLiteral(" orange"),
               with(plain, [](auto& f) { f.setForeground(QColor(255, 128, 0)); }));
  c.insertText(QStringLiteral(" big"), font(QStringLiteral("Arial"), 72));
  c.insertText(QStringLiteral(" half"), font(QStringLiteral("Courier New"), 10.5));
  c.insertText(QStringLiteral(" marked"),
               with(plain, [](auto& f) { f.setBackground(Qt::yellow); }));
  c.insertText(QStringLiteral(" x"), plain);
  c.insertText(QStringLiteral("2"), with(plain, [](auto& f) {
                 f.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
               }));
  c.insertText(QStringLiteral(" H"), plain);
  c.insertText(QStringLiteral("2"), with(plain, [](auto& f) {
                 f.setVerticalAlignment(QTextCharFormat::AlignSubScript);
               }));

  QTextBlockFormat right;
  right.setAlignment(Qt::AlignRight);
  c.insertBlock(right);
  c.insertText(
      u"Šđčćž ŠĐČĆŽ – € “quotes” é 日本語 Привет 😀 \\ {braces} tab\there\u2028next"
      u"\u00A0nbsp\u00ADsoft"_qs,
      font(QStringLiteral("Times New Roman"), 14));

  QTextBlockFormat justify;
  justify.setAlignment(Qt::AlignJustify);
  c.insertBlock(justify);
  c.insertText(QStringLiteral("Justified text in a font named Łódź Sans"),
               font(u"Łódź Sans"_qs, 9));

  richtext_test::addEveryListStyle(c, plain);

  // A list that goes on after a deeper list inside it.
  c.insertBlock(QTextBlockFormat());
  QTextListFormat outerFormat;
  outerFormat.setStyle(QTextListFormat::ListDecimal);
  QTextList* outer = c.createList(outerFormat);
  c.insertText(QStringLiteral("outer one"), plain);
  c.insertBlock();
  QTextListFormat innerFormat;
  innerFormat.setStyle(QTextListFormat::ListLowerRoman);
  innerFormat.setIndent(2);
  c.createList(innerFormat);
  c.insertText(QStringLiteral("inner"), plain);
  c.insertBlock();
  outer->add(c.block());
  c.insertText(QStringLiteral("outer two"), plain);

  QTextBlockFormat indented;
  indented.setLeftMargin(40);
  indented.setTextIndent(-20);
  indented.setRightMargin(10);
  indented.setTopMargin(6);
  indented.setBottomMargin(8);
  c.insertBlock(indented);
  c.insertText(QStringLiteral("Indented paragraph"), plain);
  // An empty line keeps its own height; so does the empty last one.
  c.insertBlock(QTextBlockFormat(), font(QStringLiteral("Arial"), 20));
  c.insertBlock(QTextBlockFormat(), font(QStringLiteral("Arial"), 12));
}

}  // namespace

TEST(RtfRoundTrip, EveryFormatTheEditorHoldsComesBack) {
  QTextDocument original;
  fillEveryFormat(original);
  const QByteArray rtf = writeRtf(original);
  QTextDocument back;
  readRtf(rtf, back);

  const QStringList want = describe(original);
  const QStringList got = describe(back);
  ASSERT_EQ(got.size(), want.size()) << rtf.toStdString();
  for (qsizetype i = 0; i < want.size(); ++i) EXPECT_EQ(got[i], want[i]) << "paragraph " << i;

  // Block formats the description leaves out: indents, spacing, the marks of empty lines.
  const QTextBlock indented = back.findBlockByNumber(static_cast<int>(want.size()) - 3);
  EXPECT_EQ(indented.text(), u"Indented paragraph"_qs);
  EXPECT_EQ(indented.blockFormat().leftMargin(), 40);
  EXPECT_EQ(indented.blockFormat().textIndent(), -20);
  EXPECT_EQ(indented.blockFormat().rightMargin(), 10);
  EXPECT_EQ(indented.blockFormat().topMargin(), 6);
  EXPECT_EQ(indented.blockFormat().bottomMargin(), 8);
  EXPECT_EQ(indented.next().charFormat().fontPointSize(), 20);
  EXPECT_EQ(back.lastBlock().charFormat().fontPointSize(), 12);
}

TEST(RtfRoundTrip, WritingWhatWasReadGivesTheSameBytes) {
  QTextDocument original;
  fillEveryFormat(original);
  const QByteArray first = writeRtf(original);
  QTextDocument back;
  back.setDefaultFont(original.defaultFont());
  readRtf(first, back);
  EXPECT_EQ(writeRtf(back), first);
}

TEST(RtfRoundTrip, EmptyAndPlainDocuments) {
  QTextDocument empty;
  QTextDocument back;
  readRtf(writeRtf(empty), back);
  EXPECT_EQ(paragraphs(back), QStringList({u""_qs}));

  QTextDocument lines;
  lines.setPlainText(QStringLiteral("one\n\ntwo\n"));
  readRtf(writeRtf(lines), back);
  EXPECT_EQ(paragraphs(back), QStringList({u"one"_qs, u""_qs, u"two"_qs, u""_qs}));
}

TEST(RtfWriter, WritesSevenBitRtfWithUnicodeEscapesAndAnsiFallbacks) {
  QTextDocument doc;
  doc.setPlainText(u"é č 😀 {x} \\"_qs);
  const QByteArray rtf = writeRtf(doc);
  EXPECT_TRUE(isRtf(rtf));
  for (char ch : rtf) ASSERT_LT(static_cast<unsigned char>(ch), 0x80) << rtf.toStdString();
  // é has an ANSI byte for readers without Unicode; č and the surrogates have none.
  EXPECT_TRUE(rtf.contains("\\u233\\'e9 \\u269\\'3f \\u-10179\\'3f\\u-8704\\'3f \\{x\\} \\\\"))
      << rtf.toStdString();
  EXPECT_TRUE(rtf.endsWith("}\r\n"));
}

TEST(PlainText, WrittenAsUtf8WithCrLfAndReadInAnyCommonForm) {
  QTextDocument doc;
  doc.setPlainText(u"Čvor\nline two"_qs);
  EXPECT_EQ(writePlainText(doc), QByteArray("\xC4\x8Cvor\r\nline two"));

  readPlainText("a\r\nb\nc\rd", doc);
  EXPECT_EQ(paragraphs(doc), QStringList({u"a"_qs, u"b"_qs, u"c"_qs, u"d"_qs}));
  readPlainText("\xC4\x8D", doc);
  EXPECT_EQ(doc.toPlainText(), u"č"_qs);
  // Not UTF-8: the program's ANSI page.
  readPlainText("\x8A\xE8", doc);
  EXPECT_EQ(doc.toPlainText(), u"Šč"_qs);
  readPlainText("\xE9", doc, 1252);
  EXPECT_EQ(doc.toPlainText(), u"é"_qs);
  readPlainText(QByteArrayView("\xFF\xFE\x0D\x01x\x00", 6), doc);
  EXPECT_EQ(doc.toPlainText(), u"čx"_qs);
  readPlainText("\xEF\xBB\xBFok", doc);
  EXPECT_EQ(doc.toPlainText(), u"ok"_qs);
  EXPECT_FALSE(doc.isModified());

  // What does not begin as RTF is plain text, even with RTF inside it.
  readDocument(" {\\rtf1 \\b x}", doc);
  EXPECT_EQ(doc.toPlainText(), u" {\\rtf1 \\b x}"_qs);
  readDocument("{\\rtf1 \\b x}", doc);
  EXPECT_EQ(doc.toPlainText(), u"x"_qs);
}

TEST(RtfRoundTrip, ListsKeepTheirItemsWhereverTheyStand) {
  // A list interrupted by a plain paragraph goes on numbering after it; a second list of the
  // same style right after the first starts again.
  QTextDocument doc;
  QTextCursor c(&doc);
  QTextListFormat decimal;
  decimal.setStyle(QTextListFormat::ListDecimal);
  QTextList* first = c.createList(decimal);
  c.insertText(QStringLiteral("one"));
  c.insertBlock(QTextBlockFormat());
  c.insertText(QStringLiteral("a note between"));
  c.insertBlock();
  first->add(c.block());
  c.insertText(QStringLiteral("two"));
  c.insertBlock();
  c.createList(decimal);
  c.insertText(QStringLiteral("again one"));

  QTextDocument back;
  readRtf(writeRtf(doc), back);
  EXPECT_EQ(describe(back), describe(doc));
  const QTextBlock two = back.findBlockByNumber(2);
  ASSERT_NE(two.textList(), nullptr);
  EXPECT_EQ(two.textList()->itemNumber(two), 1);
  EXPECT_NE(two.next().textList(), two.textList());
}

TEST(RtfWriter, NumberTextsForReadersWithoutLists) {
  auto numbersOf = [](QTextListFormat::Style style) {
    QTextDocument doc;
    QTextCursor c(&doc);
    QTextListFormat lf;
    lf.setStyle(style);
    c.createList(lf);
    for (int i = 1; i < 30; ++i) c.insertBlock();
    return writeRtf(doc);
  };
  const QByteArray alpha = numbersOf(QTextListFormat::ListLowerAlpha);
  for (const char* n : {"a.", "z.", "aa.", "ad."})
    EXPECT_TRUE(alpha.contains("{\\pntext\\f0 " + QByteArray(n) + "\\tab}")) << n;
  const QByteArray roman = numbersOf(QTextListFormat::ListUpperRoman);
  for (const char* n : {"I.", "IV.", "XIV.", "XXIX."})
    EXPECT_TRUE(roman.contains("{\\pntext\\f0 " + QByteArray(n) + "\\tab}")) << n;
  EXPECT_TRUE(numbersOf(QTextListFormat::ListDecimal).contains("{\\pntext\\f0 30.\\tab}"));
}
