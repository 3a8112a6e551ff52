#include "richtext/rich_edit.h"

#include <QClipboard>
#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QMimeData>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextList>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <mutex>
#include <utility>

#include "richtext/rtf.h"

namespace marlo::richtext {

namespace {

// Text that must not be changed by the person, as the rich-edit interface marks it. Qt has no
// such attribute; the mark travels with the text inside the editor.
constexpr int kProtectedProperty = QTextFormat::UserProperty + 1;

const QString kRtfMime = QStringLiteral("text/rtf");

QColor toQColor(win::Colour c) {
  return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

win::Colour fromQColor(const QColor& c) {
  return c.red() | (c.green() << 8) | (c.blue() << 16);
}

bool isWordChar(QChar c) {
  return c.isLetterOrNumber() || c == u'_';
}

// The paragraphs a selection touches.
template <class Fn>
void forEachBlock(QTextDocument& document, const QTextCursor& cursor, Fn fn) {
  QTextBlock block = document.findBlock(cursor.selectionStart());
  const QTextBlock last = document.findBlock(cursor.selectionEnd());
  for (; block.isValid(); block = block.next()) {
    fn(block);
    if (block == last) break;
  }
}

void mergeFormat(QTextDocument& document, const win::TextSelection& selection,
                 const QTextCharFormat& change) {
  QTextCursor cursor = cursorOn(document, selection);
  if (!cursor.hasSelection()) {
    // The word at the caret, when the caret stands in one.
    const int at = cursor.position();
    const QString text = cursor.block().text();
    const int inBlock = at - cursor.block().position();
    const bool before = inBlock > 0 && isWordChar(text.at(inBlock - 1));
    const bool after = inBlock < text.size() && isWordChar(text.at(inBlock));
    if (before || after) cursor.select(QTextCursor::WordUnderCursor);
  }
  if (cursor.hasSelection()) {
    cursor.mergeCharFormat(change);
  } else if (cursor.block().length() <= 1) {
    cursor.mergeBlockCharFormat(change);
  }
}

// The numbering styles and the list styles that show them; the first stands for any bullet.
constexpr std::pair<int, QTextListFormat::Style> kListStyles[] = {
    {numbering::Bullet, QTextListFormat::ListDisc},
    {numbering::Arabic, QTextListFormat::ListDecimal},
    {numbering::LowerLetters, QTextListFormat::ListLowerAlpha},
    {numbering::UpperLetters, QTextListFormat::ListUpperAlpha},
    {numbering::LowerRoman, QTextListFormat::ListLowerRoman},
    {numbering::UpperRoman, QTextListFormat::ListUpperRoman},
};

QTextListFormat::Style listStyle(int style) {
  for (const auto& [n, s] : kListStyles) {
    if (n == style) return s;
  }
  return QTextListFormat::ListDisc;
}

int numberingOf(QTextListFormat::Style style) {
  for (const auto& [n, s] : kListStyles) {
    if (s == style) return n;
  }
  return numbering::Bullet;
}

// The process's own clipboard, for threads that have no system clipboard (the headless view).
struct OwnClipboard {
  std::mutex mutex;
  QByteArray rtf;
  QString text;
};

OwnClipboard& ownClipboard() {
  static OwnClipboard clipboard;
  return clipboard;
}

QClipboard* systemClipboard() {
  auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
  if (app == nullptr || QThread::currentThread() != app->thread()) return nullptr;
  return QGuiApplication::clipboard();
}

}  // namespace

std::shared_ptr<QTextDocument> makeControlDocument() {
  // Qt takes the first thread that makes a Qt object for its main thread; a program thread
  // must not become it, so without an application there is no document.
  if (QCoreApplication::instance() == nullptr) return nullptr;
  auto* document = new QTextDocument;
  document->setUndoRedoEnabled(true);
  document->moveToThread(nullptr);
  return {document, [](QTextDocument* d) {
            QThread* owner = d->thread();
            if (owner == nullptr || owner == QThread::currentThread()) {
              delete d;
            } else {
              d->deleteLater();  // the GUI thread's, still shown there for a moment
            }
          }};
}

DocumentTurn::DocumentTurn(QTextDocument& document) : document_(document) {
  if (document.thread() == nullptr) {
    document.moveToThread(QThread::currentThread());
    taken_ = true;
  }
}

DocumentTurn::~DocumentTurn() {
  if (taken_) document_.moveToThread(nullptr);
}

int textLength(const QTextDocument& document) {
  return std::max(0, document.characterCount() - 1);
}

QTextCursor cursorOn(QTextDocument& document, const win::TextSelection& selection) {
  const int last = textLength(document);
  QTextCursor cursor(&document);
  cursor.setPosition(std::clamp(selection.anchor, 0, last));
  cursor.setPosition(std::clamp(selection.caret, 0, last), QTextCursor::KeepAnchor);
  return cursor;
}

win::TextSelection selectionOf(const QTextCursor& cursor) {
  return {cursor.anchor(), cursor.position()};
}

CharFormat selectionCharFormat(QTextDocument& document, const win::TextSelection& selection) {
  QTextCursor cursor = cursorOn(document, selection);
  // The first selected character's format; with nothing selected, the format typing goes on in.
  if (cursor.hasSelection()) {
    cursor.setPosition(cursor.selectionStart() + 1);
  }
  const QTextCharFormat f = cursor.charFormat();
  CharFormat out;
  const QStringList families = f.fontFamilies().toStringList();
  out.face =
      (families.isEmpty() ? document.defaultFont().family() : families.first()).toStdString();
  const double points =
      f.fontPointSize() > 0 ? f.fontPointSize() : document.defaultFont().pointSizeF();
  out.twips = static_cast<int>(std::lround(points * 20));
  out.colour = f.foreground().style() == Qt::NoBrush ? 0 : fromQColor(f.foreground().color());
  if (f.fontWeight() >= QFont::Bold) out.effects |= effect::Bold;
  if (f.fontItalic()) out.effects |= effect::Italic;
  if (f.fontUnderline()) out.effects |= effect::Underline;
  if (f.fontStrikeOut()) out.effects |= effect::Strike;
  if (f.boolProperty(kProtectedProperty)) out.effects |= effect::Protected;
  return out;
}

ParaFormat selectionParaFormat(QTextDocument& document, const win::TextSelection& selection) {
  const QTextCursor cursor = cursorOn(document, selection);
  const QTextBlock block = document.findBlock(cursor.selectionStart());
  ParaFormat out;
  const Qt::Alignment a = block.blockFormat().alignment() & Qt::AlignHorizontal_Mask;
  if (a & Qt::AlignHCenter) out.alignment = alignment::Center;
  if (a & Qt::AlignRight) out.alignment = alignment::Right;
  if (const QTextList* list = block.textList()) out.numbering = numberingOf(list->format().style());
  return out;
}

void toggleEffect(QTextDocument& document, const win::TextSelection& selection, unsigned bit) {
  const bool on = (selectionCharFormat(document, selection).effects & bit) == 0;
  QTextCharFormat change;
  switch (bit) {
    case effect::Bold:
      change.setFontWeight(on ? QFont::Bold : QFont::Normal);
      break;
    case effect::Italic:
      change.setFontItalic(on);
      break;
    case effect::Underline:
      change.setFontUnderline(on);
      break;
    case effect::Strike:
      change.setFontStrikeOut(on);
      break;
    case effect::Protected:
      change.setProperty(kProtectedProperty, on);
      break;
    default:
      return;
  }
  mergeFormat(document, selection, change);
}

void setFont(QTextDocument& document, const win::TextSelection& selection, const QString& face,
             int points, win::Colour colour) {
  QTextCharFormat change;
  if (!face.trimmed().isEmpty()) change.setFontFamilies(QStringList{face.trimmed()});
  if (points > 0) change.setFontPointSize(points);
  if (colour != win::kNoColour) change.setForeground(toQColor(colour));
  if (change.properties().isEmpty()) return;
  mergeFormat(document, selection, change);
}

void setAlignment(QTextDocument& document, const win::TextSelection& selection, int align) {
  QTextBlockFormat change;
  change.setAlignment(align == alignment::Center  ? Qt::AlignHCenter
                      : align == alignment::Right ? Qt::AlignRight
                                                  : Qt::AlignLeft);
  cursorOn(document, selection).mergeBlockFormat(change);
}

void setNumbering(QTextDocument& document, const win::TextSelection& selection, int style) {
  QTextCursor cursor = cursorOn(document, selection);
  if (style == numbering::None) {
    cursor.beginEditBlock();
    forEachBlock(document, cursor, [&](const QTextBlock& block) {
      QTextList* list = block.textList();
      if (list == nullptr) return;
      list->remove(block);
      QTextCursor at(block);
      QTextBlockFormat f = block.blockFormat();
      f.setIndent(0);
      at.setBlockFormat(f);
    });
    cursor.endEditBlock();
    return;
  }
  QTextListFormat format;
  format.setStyle(listStyle(style));
  format.setIndent(1);
  // Paragraphs of one list keep their list (and its running numbers) in the new style; any other
  // mix becomes one new list.
  QTextList* shared = document.findBlock(cursor.selectionStart()).textList();
  forEachBlock(document, cursor, [&](const QTextBlock& block) {
    if (block.textList() != shared) shared = nullptr;
  });
  if (shared != nullptr) {
    QTextListFormat kept = shared->format();
    kept.setStyle(format.style());
    shared->setFormat(kept);
    return;
  }
  cursor.beginEditBlock();
  forEachBlock(document, cursor, [&](const QTextBlock& block) {
    if (QTextList* list = block.textList()) list->remove(block);
  });
  cursor.createList(format);
  cursor.endEditBlock();
}

void formatWhole(QTextDocument& document, const CharFormat& format, int align) {
  QTextCharFormat change;
  if (!format.face.empty())
    change.setFontFamilies(QStringList{QString::fromStdString(format.face)});
  if (format.twips > 0) change.setFontPointSize(format.twips / 20.0);
  change.setForeground(toQColor(format.colour));
  change.setFontWeight((format.effects & effect::Bold) != 0 ? QFont::Bold : QFont::Normal);
  change.setFontItalic((format.effects & effect::Italic) != 0);
  change.setFontUnderline((format.effects & effect::Underline) != 0);
  change.setFontStrikeOut((format.effects & effect::Strike) != 0);
  QFont font = document.defaultFont();
  if (!format.face.empty()) font.setFamily(QString::fromStdString(format.face));
  if (format.twips > 0) font.setPointSizeF(format.twips / 20.0);
  document.setDefaultFont(font);
  QTextCursor cursor(&document);
  cursor.select(QTextCursor::Document);
  cursor.mergeCharFormat(change);
  cursor.mergeBlockCharFormat(change);
  setAlignment(document, {0, textLength(document)}, align);
}

void clearDocument(QTextDocument& document, win::TextSelection& selection) {
  // What is typed next keeps the look of where the caret was.
  QTextCharFormat keep = cursorOn(document, selection).charFormat();
  keep.clearProperty(QTextFormat::ObjectIndex);
  document.clear();
  QTextCursor cursor(&document);
  cursor.setBlockFormat(QTextBlockFormat());
  cursor.setBlockCharFormat(keep);
  document.clearUndoRedoStacks();
  document.setModified(false);
  selection = {0, 0};
}

int findText(const QTextDocument& document, const QString& what, int from, int to, unsigned flags) {
  if (what.isEmpty()) return -1;
  const QString text = document.toPlainText();
  const auto length = static_cast<int>(text.size());
  const auto size = static_cast<int>(what.size());
  const Qt::CaseSensitivity cs =
      (flags & find_flag::MatchCase) != 0 ? Qt::CaseSensitive : Qt::CaseInsensitive;
  const bool whole = (flags & find_flag::WholeWord) != 0;
  auto fits = [&](int at) {
    if (!whole) return true;
    const bool startsWord = at == 0 || !isWordChar(text.at(at - 1));
    const bool endsWord = at + size >= length || !isWordChar(text.at(at + size));
    return startsWord && endsWord;
  };
  from = std::clamp(from, 0, length);
  to = std::clamp(to, 0, length);
  if ((flags & find_flag::Down) != 0) {
    for (qsizetype at = text.indexOf(what, from, cs); at >= 0 && at + size <= to;
         at = text.indexOf(what, at + 1, cs)) {
      if (fits(static_cast<int>(at))) return static_cast<int>(at);
    }
    return -1;
  }
  // Up: the nearest match that ends at `from` or before it.
  for (qsizetype at = from - size; at >= to; --at) {
    at = text.lastIndexOf(what, at, cs);
    if (at < to) break;
    if (fits(static_cast<int>(at))) return static_cast<int>(at);
  }
  return -1;
}

void copySelection(QTextDocument& document, const win::TextSelection& selection) {
  const QTextCursor cursor = cursorOn(document, selection);
  if (!cursor.hasSelection()) return;
  const QTextDocumentFragment fragment = cursor.selection();
  QTextDocument copy;
  QTextCursor(&copy).insertFragment(fragment);
  const QByteArray rtf = writeRtf(copy);
  const QString text = fragment.toPlainText();
  if (QClipboard* clipboard = systemClipboard()) {
    auto* data = new QMimeData;
    data->setData(kRtfMime, rtf);
    data->setText(text);
    clipboard->setMimeData(data);
    return;
  }
  OwnClipboard& own = ownClipboard();
  std::lock_guard lock(own.mutex);
  own.rtf = rtf;
  own.text = text;
}

void cutSelection(QTextDocument& document, win::TextSelection& selection) {
  QTextCursor cursor = cursorOn(document, selection);
  if (!cursor.hasSelection()) return;
  copySelection(document, selection);
  cursor.removeSelectedText();
  selection = selectionOf(cursor);
}

void paste(QTextDocument& document, win::TextSelection& selection) {
  QByteArray rtf;
  QString text;
  if (QClipboard* clipboard = systemClipboard()) {
    if (const QMimeData* data = clipboard->mimeData()) {
      rtf = data->data(kRtfMime);
      text = data->text();
    }
  } else {
    OwnClipboard& own = ownClipboard();
    std::lock_guard lock(own.mutex);
    rtf = own.rtf;
    text = own.text;
  }
  QTextCursor cursor = cursorOn(document, selection);
  if (!rtf.isEmpty()) {
    QTextDocument pasted;
    readRtf(rtf, pasted);
    cursor.insertFragment(QTextDocumentFragment(&pasted));
  } else if (!text.isEmpty()) {
    cursor.insertText(text);
  } else {
    return;
  }
  selection = selectionOf(cursor);
}

}  // namespace marlo::richtext
