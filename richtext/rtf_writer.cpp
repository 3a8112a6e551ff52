// The RTF writer: a text document as the editor holds it, in RTF that word processors read.
// Character formats are written as changes from the text before, so a long run of plain text is
// plain text in the file too. Everything beyond ASCII goes out as `\uN` with an ANSI fallback.
#include <QColor>
#include <QFont>
#include <QHash>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>
#include <cmath>
#include <vector>

#include "richtext/code_pages.h"
#include "richtext/rtf.h"

namespace marlo::richtext {

namespace {

// The character format as written so far; the RTF defaults at the start of the body.
struct Written {
  int font = 0;
  int halfPoints = 24;
  int color = 0;
  int background = 0;
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool strike = false;
  int vertical = 0;
  bool operator==(const Written&) const = default;
};

// The level numbering codes of a list table.
int levelNumbering(QTextListFormat::Style style) {
  switch (style) {
    case QTextListFormat::ListDecimal:
      return 0;
    case QTextListFormat::ListUpperRoman:
      return 1;
    case QTextListFormat::ListLowerRoman:
      return 2;
    case QTextListFormat::ListUpperAlpha:
      return 3;
    case QTextListFormat::ListLowerAlpha:
      return 4;
    default:
      return 23;  // bullet
  }
}

const char* numberingWord(QTextListFormat::Style style) {
  switch (style) {
    case QTextListFormat::ListLowerAlpha:
      return "\\pnlcltr";
    case QTextListFormat::ListUpperAlpha:
      return "\\pnucltr";
    case QTextListFormat::ListLowerRoman:
      return "\\pnlcrm";
    case QTextListFormat::ListUpperRoman:
      return "\\pnucrm";
    default:
      return "\\pndec";
  }
}

bool isBullet(QTextListFormat::Style style) {
  return style == QTextListFormat::ListDisc || style == QTextListFormat::ListCircle ||
         style == QTextListFormat::ListSquare;
}

// A list item's number as the list shows it: 1, a, A, i or I, and so on.
QByteArray numberText(QTextListFormat::Style style, int n) {
  switch (style) {
    case QTextListFormat::ListLowerAlpha:
    case QTextListFormat::ListUpperAlpha: {
      const char a = style == QTextListFormat::ListLowerAlpha ? 'a' : 'A';
      QByteArray s;
      for (int k = n; k > 0; k = (k - 1) / 26) s.prepend(static_cast<char>(a + (k - 1) % 26));
      return s;
    }
    case QTextListFormat::ListLowerRoman:
    case QTextListFormat::ListUpperRoman: {
      if (n < 1 || n > 3999) break;
      static const std::pair<int, const char*> numerals[] = {
          {1000, "m"}, {900, "cm"}, {500, "d"}, {400, "cd"}, {100, "c"}, {90, "xc"}, {50, "l"},
          {40, "xl"},  {10, "x"},   {9, "ix"},  {5, "v"},    {4, "iv"},  {1, "i"}};
      QByteArray s;
      for (const auto& [value, letters] : numerals)
        for (; n >= value; n -= value) s += letters;
      return style == QTextListFormat::ListUpperRoman ? s.toUpper() : s;
    }
    default:
      break;
  }
  return QByteArray::number(n);
}

int twips(qreal pixels) {
  return static_cast<int>(std::lround(pixels * 15.0));
}

class Writer {
 public:
  explicit Writer(const QTextDocument& document)
      : document_(document),
        ansi_(CodePage::get(1252)),
        defaultFamily_(document.defaultFont().family()),
        defaultHalfPoints_(
            document.defaultFont().pointSizeF() > 0
                ? static_cast<int>(std::lround(document.defaultFont().pointSizeF() * 2))
                : 24) {
    fontIndex(defaultFamily_);
  }

  QByteArray write() {
    body_.reserve(document_.characterCount() + document_.characterCount() / 4 + 256);
    for (QTextBlock block = document_.begin(); block.isValid(); block = block.next())
      paragraph(block);
    QByteArray out;
    out.reserve(body_.size() + 1024);
    out += "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1";
    out += "{\\fonttbl";
    for (std::size_t i = 0; i < fonts_.size(); ++i) {
      out += "{\\f" + QByteArray::number(static_cast<qulonglong>(i)) + "\\fnil\\fcharset0 ";
      QString name = fonts_[i];
      name.remove(u';');
      needSpace_ = false;
      text(out, name);
      out += ";}";
    }
    out += "}\r\n{\\colortbl ;";
    for (QRgb c : colors_) {
      out += "\\red" + QByteArray::number(qRed(c)) + "\\green" + QByteArray::number(qGreen(c)) +
             "\\blue" + QByteArray::number(qBlue(c)) + ';';
    }
    out += "}\r\n";
    listTables(out);
    out += "{\\*\\generator Marlo BACKUP;}\r\n";
    out += body_;
    out += "}\r\n";
    return out;
  }

 private:
  void paragraph(const QTextBlock& block) {
    QByteArray& o = body_;
    const QTextBlockFormat bf = block.blockFormat();
    o += "\\pard";
    const Qt::Alignment align = bf.alignment() & Qt::AlignHorizontal_Mask;
    if (align & Qt::AlignHCenter)
      o += "\\qc";
    else if (align & (Qt::AlignRight | Qt::AlignTrailing))
      o += "\\qr";
    else if (align & Qt::AlignJustify)
      o += "\\qj";
    else
      o += "\\ql";
    if (QTextList* list = block.textList())
      numbering(*list);
    else
      indents(bf.leftMargin(), bf.textIndent());
    if (bf.rightMargin() != 0) o += "\\ri" + QByteArray::number(twips(bf.rightMargin()));
    if (bf.topMargin() != 0) o += "\\sb" + QByteArray::number(twips(bf.topMargin()));
    if (bf.bottomMargin() != 0) o += "\\sa" + QByteArray::number(twips(bf.bottomMargin()));
    needSpace_ = true;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      if (!fragment.isValid()) continue;
      characterFormat(fragment.charFormat());
      text(o, fragment.text());
    }
    // The mark of an empty paragraph keeps the paragraph's own format, so an empty line keeps
    // its height.
    if (block.length() <= 1) characterFormat(block.charFormat());
    o += "\\par\r\n";
    needSpace_ = false;
  }

  void indents(qreal left, qreal first) {
    if (left != 0) body_ += "\\li" + QByteArray::number(twips(left));
    if (first != 0) body_ += "\\fi" + QByteArray::number(twips(first));
  }

  // A list paragraph three ways: in a list of the list table, which keeps each list apart
  // wherever its items stand; in old-style numbering for readers that know no list tables; and
  // with its number as text before it for readers that number nothing.
  void numbering(const QTextList& list) {
    QByteArray& o = body_;
    const QTextListFormat lf = list.format();
    const bool bullet = isBullet(lf.style());
    const int level = std::clamp(lf.indent(), 1, 9);
    // Half an inch per level, as word processors indent their lists.
    const int indent = 720 * level;
    o += "{\\pntext\\f0 ";
    // Items are numbered as they come: blocks are written in document order, and counting them
    // here costs nothing where asking the list would search it for every item.
    const int item = ++listItems_[&list];
    if (bullet)
      o += "\\'95";
    else
      o += numberText(lf.style(), item) + '.';
    o += "\\tab}{\\*\\pn";
    if (bullet) {
      o += "\\pnlvlblt\\pnf0\\pnindent360{\\pntxtb\\'95}}";
    } else {
      o += "\\pnlvlbody\\pnf0\\pnindent360\\pnstart1";
      o += numberingWord(lf.style());
      o += "{\\pntxta.}}";
    }
    o += "\\ls" + QByteArray::number(listNumber(list)) + "\\ilvl" + QByteArray::number(level - 1);
    o += "\\fi-360\\li" + QByteArray::number(indent);
  }

  int listNumber(const QTextList& list) {
    const auto found = listNumbers_.constFind(&list);
    if (found != listNumbers_.constEnd()) return *found;
    lists_.push_back(list.format().style());
    const int number = static_cast<int>(lists_.size());
    listNumbers_.insert(&list, number);
    return number;
  }

  // Each list of the document is a list of its own, its nine levels all in its style, and
  // override N names list N.
  void listTables(QByteArray& out) const {
    if (lists_.empty()) return;
    out += "{\\*\\listtable";
    for (std::size_t i = 0; i < lists_.size(); ++i) {
      const QByteArray id = QByteArray::number(static_cast<qulonglong>(i + 1));
      const int nfc = levelNumbering(lists_[i]);
      out += "\r\n{\\list\\listtemplateid" + id;
      for (int level = 0; level < 9; ++level) {
        out += "{\\listlevel\\levelnfc" + QByteArray::number(nfc) + "\\levelnfcn" +
               QByteArray::number(nfc) + "\\leveljc0\\levelstartat1";
        if (nfc == 23)
          out += "{\\leveltext\\'01\\u8226\\'3f;}{\\levelnumbers;}";
        else
          out += "{\\leveltext\\'02\\'0" + QByteArray::number(level) + ".;}{\\levelnumbers\\'01;}";
        out += "\\fi-360\\li" + QByteArray::number(720 * (level + 1)) + '}';
      }
      out += "\\listid" + id + '}';
    }
    out += "}\r\n{\\*\\listoverridetable";
    for (std::size_t i = 0; i < lists_.size(); ++i) {
      const QByteArray id = QByteArray::number(static_cast<qulonglong>(i + 1));
      out += "{\\listoverride\\listid" + id + "\\listoverridecount0\\ls" + id + '}';
    }
    out += "}\r\n";
  }

  int fontIndex(const QString& family) {
    auto found = fontIndex_.constFind(family);
    if (found != fontIndex_.constEnd()) return *found;
    const int index = static_cast<int>(fonts_.size());
    fonts_.push_back(family);
    fontIndex_.insert(family, index);
    return index;
  }

  int colorIndex(const QBrush& brush) {
    if (brush.style() == Qt::NoBrush) return 0;
    const QRgb rgb = brush.color().rgb() & 0xFFFFFF;
    auto found = colorIndex_.constFind(rgb);
    if (found != colorIndex_.constEnd()) return *found;
    colors_.push_back(rgb);
    const int index = static_cast<int>(colors_.size());  // entry 0 is the automatic colour
    colorIndex_.insert(rgb, index);
    return index;
  }

  Written wanted(const QTextCharFormat& f) {
    Written w;
    const QStringList families = f.fontFamilies().toStringList();
    w.font = families.isEmpty() || families.front().isEmpty() ? 0 : fontIndex(families.front());
    w.halfPoints = f.hasProperty(QTextFormat::FontPointSize) && f.fontPointSize() > 0
                       ? std::clamp(static_cast<int>(std::lround(f.fontPointSize() * 2)), 1, 3276)
                       : defaultHalfPoints_;
    w.color = colorIndex(f.foreground());
    w.background = colorIndex(f.background());
    w.bold = f.fontWeight() > QFont::Medium;
    w.italic = f.fontItalic();
    w.underline = f.fontUnderline();
    w.strike = f.fontStrikeOut();
    const auto v = f.verticalAlignment();
    w.vertical = v == QTextCharFormat::AlignSuperScript ? 1
                 : v == QTextCharFormat::AlignSubScript ? -1
                                                        : 0;
    return w;
  }

  void word(const char* name, int value) {
    body_ += name;
    body_ += QByteArray::number(value);
    needSpace_ = true;
  }
  void flag(bool on, const char* onWord, const char* offWord) {
    body_ += on ? onWord : offWord;
    needSpace_ = true;
  }

  void characterFormat(const QTextCharFormat& f) {
    const Written w = wanted(f);
    if (w == written_) return;
    if (w.font != written_.font) word("\\f", w.font);
    if (w.halfPoints != written_.halfPoints) word("\\fs", w.halfPoints);
    if (w.color != written_.color) word("\\cf", w.color);
    if (w.background != written_.background) word("\\highlight", w.background);
    if (w.bold != written_.bold) flag(w.bold, "\\b", "\\b0");
    if (w.italic != written_.italic) flag(w.italic, "\\i", "\\i0");
    if (w.underline != written_.underline) flag(w.underline, "\\ul", "\\ulnone");
    if (w.strike != written_.strike) flag(w.strike, "\\strike", "\\strike0");
    if (w.vertical != written_.vertical) {
      body_ += w.vertical > 0 ? "\\super" : w.vertical < 0 ? "\\sub" : "\\nosupersub";
      needSpace_ = true;
    }
    written_ = w;
  }

  // Text with RTF's special characters escaped; a control word before it is ended by a space
  // only when the text would otherwise run into it.
  void text(QByteArray& o, QStringView s) {
    for (const QChar qc : s) {
      const char16_t c = qc.unicode();
      if (c >= 0x20 && c < 0x80) {
        if (c == u'\\' || c == u'{' || c == u'}') {
          o += '\\';
        } else if (needSpace_) {
          o += ' ';
        }
        o += static_cast<char>(c);
        needSpace_ = false;
        continue;
      }
      switch (c) {
        case u'\t':
          o += "\\tab";
          needSpace_ = true;
          continue;
        case 0x2028:
        case 0x2029:
          o += "\\line";
          needSpace_ = true;
          continue;
        case 0x00A0:
          o += "\\~";
          needSpace_ = false;
          continue;
        case 0x00AD:
          o += "\\-";
          needSpace_ = false;
          continue;
        case 0x2011:
          o += "\\_";
          needSpace_ = false;
          continue;
        case 0xFFFC:  // an embedded object's place holder: the editor keeps no objects
          continue;
        default:
          break;
      }
      if (c < 0x20) continue;
      o += "\\u";
      o += QByteArray::number(c < 0x8000 ? static_cast<int>(c) : static_cast<int>(c) - 65536);
      // The fallback is a byte escape even when it is "?": some readers take a "?" straight
      // after the number for the word's delimiter and then skip the character after it.
      unsigned char fallback = QChar::isSurrogate(c) ? 0 : ansi_.encode(c);
      if (fallback == 0) fallback = '?';
      static const char hex[] = "0123456789abcdef";
      o += "\\'";
      o += hex[fallback >> 4];
      o += hex[fallback & 15];
      needSpace_ = false;
    }
  }

  const QTextDocument& document_;
  const CodePage& ansi_;
  QString defaultFamily_;
  int defaultHalfPoints_;
  std::vector<QString> fonts_;
  QHash<QString, int> fontIndex_;
  std::vector<QRgb> colors_;
  QHash<QRgb, int> colorIndex_;
  std::vector<QTextListFormat::Style> lists_;
  QHash<const QTextList*, int> listNumbers_;
  QHash<const QTextList*, int> listItems_;  // items written so far
  QByteArray body_;
  Written written_;
  bool needSpace_ = false;
};

}  // namespace

QByteArray writeRtf(const QTextDocument& document) {
  Writer writer(document);
  return writer.write();
}

}  // namespace marlo::richtext
