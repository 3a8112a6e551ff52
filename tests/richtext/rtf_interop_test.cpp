// Other RTF tools as oracles: pandoc and unrtf read the files our writer makes and find the same
// text; files pandoc writes load with their text intact.
#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>

#include "richtext/rtf.h"
#include "rtf_test_util.h"

using namespace marlo::richtext;

namespace {

bool have(const char* tool) {
  return !QStandardPaths::findExecutable(QLatin1StringView(tool)).isEmpty();
}

// Runs a tool on bytes given as a file; its standard output as UTF-8.
QString run(const QString& tool, QStringList args, const QByteArray& input) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("in.rtf"));
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly) || f.write(input) != input.size()) return {};
  f.close();
  args << path;
  QProcess p;
  p.start(tool, args);
  if (!p.waitForFinished(120000) || p.exitCode() != 0) {
    ADD_FAILURE() << tool.toStdString() << " failed: " << p.readAllStandardError().toStdString();
    return {};
  }
  return QString::fromUtf8(p.readAllStandardOutput());
}

// Text as a sequence of words: layout, list markers and punctuation set aside.
QStringList words(const QString& text) {
  static const QRegularExpression notWord(QStringLiteral("[^\\p{L}\\p{N}]+"));
  return text.split(notWord, Qt::SkipEmptyParts);
}

QString toPlain(const QByteArray& input, const char* from) {
  return run(QStringLiteral("pandoc"),
             {QStringLiteral("-f"), QLatin1StringView(from), QStringLiteral("-t"),
              QStringLiteral("plain"), QStringLiteral("--wrap=none")},
             input);
}

// Text in several scripts and formats. Characters past U+FFFF are left out: pandoc reads each
// half of a surrogate pair on its own.
void fillFormattedText(QTextDocument& doc) {
  QTextCursor c(&doc);
  // Each piece names its format: text inserted without one takes the format before it.
  const QTextCharFormat plain;
  QTextCharFormat bold;
  bold.setFontWeight(QFont::Bold);
  QTextCharFormat italic;
  italic.setFontItalic(true);
  QTextCharFormat struck;
  struck.setFontStrikeOut(true);
  QTextCharFormat big;
  big.setFontPointSize(24);
  big.setForeground(Qt::blue);
  big.setFontFamilies(QStringList{QStringLiteral("Courier New")});
  c.insertText(QStringLiteral("Backup of "), plain);
  c.insertText(QStringLiteral("Monday"), bold);
  c.insertText(QStringLiteral(" finished "), plain);
  c.insertText(QStringLiteral("quickly"), italic);
  c.insertText(QStringLiteral(", "), plain);
  c.insertText(QStringLiteral("nothing"), struck);
  c.insertText(QStringLiteral(" failed."), plain);
  QTextBlockFormat center;
  center.setAlignment(Qt::AlignHCenter);
  c.insertBlock(center);
  c.insertText(
      QStringLiteral("Mapa \"Dokumenti\" — Šđčćž ŠĐČĆŽ, αβγ, Привет, 日本語, 12 € {x} \\ y"), big);
  c.insertBlock(QTextBlockFormat());
  c.insertText(QStringLiteral("col one\tcol two"), plain);
}

}  // namespace

TEST(RtfInterop, PandocReadsOurTextAndFormats) {
  if (!have("pandoc")) GTEST_SKIP() << "pandoc missing";
  QTextDocument doc;
  fillFormattedText(doc);
  const QByteArray rtf = writeRtf(doc);
  EXPECT_EQ(words(toPlain(rtf, "rtf")), words(doc.toPlainText()));
  const QString markdown = run(QStringLiteral("pandoc"),
                               {QStringLiteral("-f"), QStringLiteral("rtf"), QStringLiteral("-t"),
                                QStringLiteral("markdown")},
                               rtf);
  EXPECT_TRUE(markdown.contains(u"**Monday**"_qs)) << markdown.toStdString();
  EXPECT_TRUE(markdown.contains(u"*quickly*"_qs)) << markdown.toStdString();
  EXPECT_TRUE(markdown.contains(u"~~nothing~~"_qs)) << markdown.toStdString();
}

TEST(RtfInterop, ReadersWithoutListsSeeOurNumbers) {
  if (!have("pandoc")) GTEST_SKIP() << "pandoc missing";
  QTextDocument doc;
  QTextCursor c(&doc);
  c.insertText(QStringLiteral("Steps:"));
  richtext_test::addEveryListStyle(c, QTextCharFormat());
  const QString text = toPlain(writeRtf(doc), "rtf");
  for (const char* item :
       {"• start", "• next item", "1. start", "2. next item", "a. start", "b. next item",
        "A. start", "B. next item", "i. start", "ii. next item", "I. start", "II. next item"})
    EXPECT_TRUE(text.contains(QString::fromUtf8(item))) << item << "\n" << text.toStdString();
}

TEST(RtfInterop, UnrtfReadsOurText) {
  if (!have("unrtf")) GTEST_SKIP() << "unrtf missing";
  QTextDocument doc;
  // unrtf's text output knows only ASCII.
  doc.setPlainText(QStringLiteral("First line of the log\nSecond {line} with a \\ and 100%\n"));
  QTextCursor c(&doc);
  c.movePosition(QTextCursor::End);
  QTextCharFormat bold;
  bold.setFontWeight(QFont::Bold);
  c.insertText(QStringLiteral("Bold end"), bold);
  QString text = run(QStringLiteral("unrtf"), {QStringLiteral("--text")}, writeRtf(doc));
  // Its header is comment lines and a rule.
  text.remove(
      QRegularExpression(QStringLiteral("^###[^\n]*\n"), QRegularExpression::MultilineOption));
  text.remove(QRegularExpression(QStringLiteral("^-+\n"), QRegularExpression::MultilineOption));
  EXPECT_EQ(words(text), words(doc.toPlainText()));
}

TEST(RtfInterop, PandocWrittenFilesLoadWithTheirText) {
  if (!have("pandoc")) GTEST_SKIP() << "pandoc missing";
  // Headings, inline formats, a link, nested lists, a quotation, a table and code.
  const QByteArray markdown = R"(# Backup report

Plain paragraph with **strong**, *emphasis*, ~~struck~~ and `code` text, and a [link](http://example.com/).
Croatian: Šđčćž ŠĐČĆŽ; Greek: αβγ; Japanese: 日本語; quotes “x” — done.

## Folders

- first bullet
- second bullet
    - nested bullet
- third bullet

1. one
2. two
    a. two-a

> A quoted paragraph
> over two lines.

| Folder | Size |
|--------|-----:|
| docs   |  12  |
| photos | 3400 |

```
code block line
```

Last | line
)";
  const QByteArray rtf = run(QStringLiteral("pandoc"),
                             {QStringLiteral("-f"), QStringLiteral("markdown"),
                              QStringLiteral("-s"), QStringLiteral("-t"), QStringLiteral("rtf")},
                             markdown)
                             .toUtf8();
  ASSERT_TRUE(isRtf(rtf));
  QTextDocument doc;
  readRtf(rtf, doc);
  EXPECT_EQ(words(doc.toPlainText()), words(toPlain(markdown, "markdown")));
  // The formats came along too.
  const QStringList d = richtext_test::describe(doc);
  EXPECT_TRUE(d.join(u'\n').contains(u" B]strong"_qs)) << d.join(u'\n').toStdString();
  EXPECT_TRUE(d.join(u'\n').contains(u" I]emphasis"_qs));
  EXPECT_TRUE(d.join(u'\n').contains(u" S]struck"_qs));
}
