// What the editor does to its document: the character and paragraph formats of the selection,
// numbering, finding text, the clipboard. Each function works on a document and a selection as
// a rich-text control's edit hands them over (Engine::editDocument), so the same code runs on the
// Qt view's GUI thread and in the headless view of the tests.
//
// A control's document is made by makeControlDocument and rests between edits without a thread
// of its own; an edit takes it into the running thread for its length (DocumentTurn). The Qt view
// keeps it on the GUI thread for good once an editor shows it.
#pragma once

#include <QString>
#include <QTextCursor>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/window/control.h"

class QTextDocument;

namespace marlo::richtext {

// Character effects as the rich-edit interface numbers them.
namespace effect {
inline constexpr unsigned Bold = 1;
inline constexpr unsigned Italic = 2;
inline constexpr unsigned Underline = 4;
inline constexpr unsigned Strike = 8;
inline constexpr unsigned Protected = 16;
}  // namespace effect

// Paragraph alignments as the rich-edit interface numbers them.
namespace alignment {
inline constexpr int Left = 1;
inline constexpr int Right = 2;
inline constexpr int Center = 3;
}  // namespace alignment

// Numbering styles of a paragraph as the rich-edit interface numbers them (0 = none).
namespace numbering {
inline constexpr int None = 0;
inline constexpr int Bullet = 1;
inline constexpr int Arabic = 2;
inline constexpr int LowerLetters = 3;
inline constexpr int UpperLetters = 4;
inline constexpr int LowerRoman = 5;
inline constexpr int UpperRoman = 6;
}  // namespace numbering

// Flags of a search, as the rich-edit interface defines them.
namespace find_flag {
inline constexpr unsigned Down = 1;
inline constexpr unsigned WholeWord = 2;
inline constexpr unsigned MatchCase = 4;
}  // namespace find_flag

// The character format of a selection's first character.
struct CharFormat {
  std::string face;
  int twips = 0;  // the height in twentieths of a point
  win::Colour colour = 0;
  unsigned effects = 0;
  friend bool operator==(const CharFormat&, const CharFormat&) = default;
};

// The paragraph format of the paragraph where the selection starts.
struct ParaFormat {
  int alignment = alignment::Left;
  int numbering = numbering::None;
  friend bool operator==(const ParaFormat&, const ParaFormat&) = default;
};

// A new, empty document for a rich-text control; it is deleted on whichever thread lets go of
// it last. Null when the process has no Qt application (a run without windows): the control
// then shows an empty text and every edit of it does nothing.
[[nodiscard]] std::shared_ptr<QTextDocument> makeControlDocument();

// For the length of an edit: a document that rests without a thread joins the running one, and
// goes back to resting afterwards. One on the running thread already stays as it is.
class DocumentTurn {
 public:
  explicit DocumentTurn(QTextDocument& document);
  DocumentTurn(const DocumentTurn&) = delete;
  DocumentTurn& operator=(const DocumentTurn&) = delete;
  ~DocumentTurn();

 private:
  QTextDocument& document_;
  bool taken_ = false;
};

// The number of characters (paragraph ends count one each, the final one not at all).
[[nodiscard]] int textLength(const QTextDocument& document);
// A cursor on the selection, its ends kept inside the document.
[[nodiscard]] QTextCursor cursorOn(QTextDocument& document, const win::TextSelection& selection);
[[nodiscard]] win::TextSelection selectionOf(const QTextCursor& cursor);

[[nodiscard]] CharFormat selectionCharFormat(QTextDocument& document,
                                             const win::TextSelection& selection);
[[nodiscard]] ParaFormat selectionParaFormat(QTextDocument& document,
                                             const win::TextSelection& selection);

// Character formats apply to the selection, or, when nothing is selected, to the word at the
// caret; in an empty paragraph they become the format of what is typed there next.
void toggleEffect(QTextDocument& document, const win::TextSelection& selection, unsigned bit);
// Blank face, points 0 and kNoColour leave that part as it is.
void setFont(QTextDocument& document, const win::TextSelection& selection, const QString& face,
             int points, win::Colour colour);
// Paragraph formats apply to every paragraph the selection touches.
void setAlignment(QTextDocument& document, const win::TextSelection& selection, int alignment);
void setNumbering(QTextDocument& document, const win::TextSelection& selection, int style);

// The whole text and what is typed into an empty document take this format.
void formatWhole(QTextDocument& document, const CharFormat& format, int alignment);
// Empties the text, keeping the character format of the selection's start for what comes next;
// the paragraph format is reset, the undo history emptied and the document left unmodified.
void clearDocument(QTextDocument& document, win::TextSelection& selection);

// The start of the first match of `what` between `from` and `to`: searching down (Down set)
// from `from` towards `to`, else up from `from` back to `to` (`to` <= `from`), where a match
// must end at `from` or before. -1 when there is none.
[[nodiscard]] int findText(const QTextDocument& document, const QString& what, int from, int to,
                           unsigned flags);

// The clipboard: the system's when there is one on this thread, else one of the process's own,
// so that the headless view cuts and pastes as well. Copies carry RTF and plain text.
void copySelection(QTextDocument& document, const win::TextSelection& selection);
void cutSelection(QTextDocument& document, win::TextSelection& selection);
void paste(QTextDocument& document, win::TextSelection& selection);

}  // namespace marlo::richtext
