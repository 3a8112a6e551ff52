// What the richtext tests look at in a document: the text of each paragraph, and a description
// of every format the editor holds, character by character merged into runs.
#pragma once

#include <QFile>
#include <QString>
#include <QStringList>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

#include <ostream>

// Test failures show texts as text.
inline void PrintTo(const QString& s, std::ostream* os) {
  *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList& l, std::ostream* os) {
  *os << '{';
  for (const QString& s : l) *os << "\n  \"" << s.toStdString() << '"';
  *os << " }";
}

namespace richtext_test {

inline QByteArray dataFile(const char* name) {
  QFile f(QStringLiteral(RICHTEXT_TEST_DATA "/") + QLatin1StringView(name));
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

inline QStringList paragraphs(const QTextDocument& doc) {
  QStringList out;
  for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) out << b.text();
  return out;
}

// A character format as the editor shows it, defaults filled in from the document.
inline QString describe(const QTextCharFormat& f, const QTextDocument& doc) {
  const QStringList families = f.fontFamilies().toStringList();
  const QString family = families.isEmpty() ? doc.defaultFont().family() : families.front();
  const double size = f.fontPointSize() > 0 ? f.fontPointSize() : doc.defaultFont().pointSizeF();
  QString d = QStringLiteral("%1 %2").arg(family).arg(size);
  if (f.foreground().style() != Qt::NoBrush)
    d += QStringLiteral(" fg") + f.foreground().color().name();
  if (f.background().style() != Qt::NoBrush)
    d += QStringLiteral(" bg") + f.background().color().name();
  if (f.fontWeight() > QFont::Medium) d += u" B";
  if (f.fontItalic()) d += u" I";
  if (f.fontUnderline()) d += u" U";
  if (f.fontStrikeOut()) d += u" S";
  if (f.verticalAlignment() == QTextCharFormat::AlignSuperScript) d += u" sup";
  if (f.verticalAlignment() == QTextCharFormat::AlignSubScript) d += u" sub";
  return d;
}

inline QString alignmentName(Qt::Alignment a) {
  if (a & Qt::AlignHCenter) return QStringLiteral("center");
  if (a & Qt::AlignRight) return QStringLiteral("right");
  if (a & Qt::AlignJustify) return QStringLiteral("justify");
  return QStringLiteral("left");
}

// Two items in a list of each of the editor's six styles, the second item partly bold.
inline void addEveryListStyle(QTextCursor& c, const QTextCharFormat& plain) {
  const QTextListFormat::Style styles[] = {
      QTextListFormat::ListDisc,       QTextListFormat::ListDecimal,
      QTextListFormat::ListLowerAlpha, QTextListFormat::ListUpperAlpha,
      QTextListFormat::ListLowerRoman, QTextListFormat::ListUpperRoman};
  QTextCharFormat bold = plain;
  bold.setFontWeight(QFont::Bold);
  for (QTextListFormat::Style style : styles) {
    c.insertBlock(QTextBlockFormat());
    QTextListFormat lf;
    lf.setStyle(style);
    QTextList* list = c.createList(lf);
    c.insertText(QStringLiteral("start"), plain);
    c.insertBlock();
    list->add(c.block());
    c.insertText(QStringLiteral("next "), plain);
    c.insertText(QStringLiteral("item"), bold);
  }
}

// One line per paragraph: alignment, list style and item, then [format]text runs.
inline QStringList describe(const QTextDocument& doc) {
  QStringList out;
  for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
    QString line = alignmentName(b.blockFormat().alignment());
    if (QTextList* list = b.textList())
      line += QStringLiteral(" list%1#%2").arg(list->format().style()).arg(list->itemNumber(b));
    line += u' ';
    QString lastFormat;
    for (auto it = b.begin(); !it.atEnd(); ++it) {
      const QString f = describe(it.fragment().charFormat(), doc);
      if (f != lastFormat) line += u'[' + f + u']';
      line += it.fragment().text();
      lastFormat = f;
    }
    out << line;
  }
  return out;
}

}  // namespace richtext_test
