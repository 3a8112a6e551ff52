// The RTF reader's second half: parsed paragraphs into a text document, and plain text.
#include <QFont>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <map>
#include <unordered_map>

#include "richtext/code_pages.h"
#include "richtext/rtf.h"
#include "richtext/rtf_parser.h"

namespace marlo::richtext {

namespace {

struct CharPropsHash {
  std::size_t operator()(const CharProps& p) const noexcept {
    std::uint64_t h = static_cast<std::uint32_t>(p.font);
    h = h * 1000003u ^ p.color;
    h = h * 1000003u ^ p.background;
    h = h * 1000003u ^ static_cast<std::uint16_t>(p.halfPoints);
    h = h * 1000003u ^
        (static_cast<unsigned>(p.bold) | static_cast<unsigned>(p.italic) << 1 |
         static_cast<unsigned>(p.underline) << 2 | static_cast<unsigned>(p.strike) << 3 |
         static_cast<unsigned>(p.vertical + 1) << 4 | static_cast<unsigned>(p.hidden) << 6);
    return static_cast<std::size_t>(h ^ h >> 29);
  }
};

QTextListFormat::Style qtListStyle(ListStyle style) {
  switch (style) {
    case ListStyle::bullet:
      return QTextListFormat::ListDisc;
    case ListStyle::lowerLetter:
      return QTextListFormat::ListLowerAlpha;
    case ListStyle::upperLetter:
      return QTextListFormat::ListUpperAlpha;
    case ListStyle::lowerRoman:
      return QTextListFormat::ListLowerRoman;
    case ListStyle::upperRoman:
      return QTextListFormat::ListUpperRoman;
    case ListStyle::decimal:
    case ListStyle::none:
      break;
  }
  return QTextListFormat::ListDecimal;
}

// Twips to the document's pixels (1/96 inch).
qreal pixels(std::int32_t twips) {
  return twips / 15.0;
}

class DocumentBuilder final : public RtfSink {
 public:
  explicit DocumentBuilder(QTextDocument& document) : cursor_(&document) {}

  void paragraph(const ParsedParagraph& p, const RtfTables& tables) override {
    const QTextBlockFormat block = blockFormat(p.props);
    const QTextCharFormat mark = charFormat(p.mark, tables);
    if (first_) {
      cursor_.setBlockFormat(block);
      cursor_.setBlockCharFormat(mark);
      first_ = false;
    } else {
      cursor_.insertBlock(block, mark);
    }
    joinList(p.props);
    for (const Run& run : p.runs) {
      // The paragraph's text outlives the call; no copy is needed.
      const QString text = QString::fromRawData(p.text.data() + run.start, run.length);
      cursor_.insertText(text, charFormat(run.props, tables));
    }
  }

 private:
  static QTextBlockFormat blockFormat(const ParaProps& props) {
    QTextBlockFormat f;
    switch (props.align) {
      case ParaAlign::left:
        break;
      case ParaAlign::center:
        f.setAlignment(Qt::AlignHCenter);
        break;
      case ParaAlign::right:
        f.setAlignment(Qt::AlignRight);
        break;
      case ParaAlign::justify:
        f.setAlignment(Qt::AlignJustify);
        break;
    }
    // A list indents its paragraphs itself; the file's indents of a list paragraph only make
    // room for the number, which the list already does.
    if (props.list == ListStyle::none) {
      if (props.leftIndent != 0) f.setLeftMargin(pixels(props.leftIndent));
      if (props.firstIndent != 0) f.setTextIndent(pixels(props.firstIndent));
    }
    if (props.rightIndent != 0) f.setRightMargin(pixels(props.rightIndent));
    if (props.spaceBefore != 0) f.setTopMargin(pixels(props.spaceBefore));
    if (props.spaceAfter != 0) f.setBottomMargin(pixels(props.spaceAfter));
    return f;
  }

  const QTextCharFormat& charFormat(CharProps props, const RtfTables& tables) {
    if (props.font < 0) props.font = tables.defaultFont;
    if (props == lastProps_ && lastFormat_) return *lastFormat_;
    auto [it, added] = formats_.try_emplace(props);
    if (added) {
      QTextCharFormat& f = it->second;
      if (props.font >= 0 && static_cast<std::size_t>(props.font) < tables.fonts.size() &&
          !tables.fonts[static_cast<std::size_t>(props.font)].isEmpty())
        f.setFontFamilies(QStringList{tables.fonts[static_cast<std::size_t>(props.font)]});
      f.setFontPointSize(props.halfPoints / 2.0);
      if (props.bold) f.setFontWeight(QFont::Bold);
      if (props.italic) f.setFontItalic(true);
      if (props.underline) f.setFontUnderline(true);
      if (props.strike) f.setFontStrikeOut(true);
      if (props.color != 0) f.setForeground(QColor::fromRgb(props.color));
      if (props.background != 0) f.setBackground(QColor::fromRgb(props.background));
      if (props.vertical > 0) f.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
      if (props.vertical < 0) f.setVerticalAlignment(QTextCharFormat::AlignSubScript);
    }
    lastProps_ = props;
    lastFormat_ = &it->second;
    return it->second;
  }

  void joinList(const ParaProps& props) {
    if (props.list == ListStyle::none || props.listOverride != 0) neighbours_.clear();
    if (props.list == ListStyle::none) return;
    if (props.listOverride != 0) {
      const std::int64_t key = static_cast<std::int64_t>(props.listOverride) * 16 + props.listLevel;
      auto found = lists_.find(key);
      if (found != lists_.end())
        found->second->add(cursor_.block());
      else
        lists_[key] = cursor_.createList(listFormat(props.list, props.listLevel + 1));
      return;
    }
    // Old-style numbering has no list of its own: a paragraph goes on with the list of its
    // indent that a paragraph before it began, over deeper items between them; a shallower
    // item ends the deeper lists.
    const int level = std::max(1, (props.leftIndent + 360) / 720);
    neighbours_.erase(neighbours_.upper_bound(level), neighbours_.end());
    auto found = neighbours_.find(level);
    if (found != neighbours_.end() && found->second.first == props.list) {
      found->second.second->add(cursor_.block());
      return;
    }
    neighbours_[level] = {props.list, cursor_.createList(listFormat(props.list, level))};
  }

  static QTextListFormat listFormat(ListStyle style, int indent) {
    QTextListFormat f;
    f.setStyle(qtListStyle(style));
    f.setIndent(indent);
    return f;
  }

  QTextCursor cursor_;
  bool first_ = true;
  std::unordered_map<CharProps, QTextCharFormat, CharPropsHash> formats_;
  CharProps lastProps_;
  const QTextCharFormat* lastFormat_ = nullptr;
  std::unordered_map<std::int64_t, QTextList*> lists_;
  std::map<int, std::pair<ListStyle, QTextList*>> neighbours_;  // by indent level
};

// Loading replaces the document in one step that cannot be undone.
template <class Fill>
void replaceContent(QTextDocument& document, Fill fill) {
  const bool undo = document.isUndoRedoEnabled();
  document.setUndoRedoEnabled(false);
  document.clear();
  fill();
  document.setUndoRedoEnabled(undo);
  document.setModified(false);
}

QString decodePlainText(QByteArrayView bytes, int fallbackCodePage) {
  if (bytes.startsWith("\xEF\xBB\xBF")) return QString::fromUtf8(bytes.sliced(3));
  if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
    QStringDecoder utf16(bytes[0] == '\xFF' ? QStringConverter::Utf16LE
                                            : QStringConverter::Utf16BE);
    return utf16(bytes.sliced(2));
  }
  QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
  QString text = utf8(bytes);
  if (!utf8.hasError()) return text;
  return CodePage::get(fallbackCodePage).decode(bytes);
}

}  // namespace

bool isRtf(QByteArrayView bytes) {
  return bytes.startsWith("{\\rtf");
}

void readRtf(QByteArrayView rtf, QTextDocument& document) {
  replaceContent(document, [&] {
    QTextCursor batch(&document);
    batch.beginEditBlock();
    DocumentBuilder builder(document);
    parseRtf(rtf, builder);
    batch.endEditBlock();
  });
}

void readPlainText(QByteArrayView bytes, QTextDocument& document, int fallbackCodePage) {
  QString text = decodePlainText(bytes, fallbackCodePage);
  text.replace(QLatin1StringView("\r\n"), QLatin1StringView("\n"));
  for (QChar& c : text) {
    // Carriage returns alone end lines too; the text document's own structure characters and
    // NUL never enter it as text.
    if (c == u'\r') c = u'\n';
    if (c == QChar(0xFDD0) || c == QChar(0xFDD1) || c == QChar::Null)
      c = QChar::ReplacementCharacter;
  }
  replaceContent(document, [&] { document.setPlainText(text); });
}

void readDocument(QByteArrayView bytes, QTextDocument& document) {
  if (isRtf(bytes))
    readRtf(bytes, document);
  else
    readPlainText(bytes, document);
}

QByteArray writePlainText(const QTextDocument& document) {
  QString text = document.toPlainText();
  text.replace(u'\n', QLatin1StringView("\r\n"));
  return text.toUtf8();
}

}  // namespace marlo::richtext
