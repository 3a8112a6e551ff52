// RTF and plain text in and out of a text document: what the editor loads from a file or a
// bound variable and what it saves. The reader takes RTF as word processors write it; the writer
// emits every format the editor holds (fonts, sizes, colours, bold, italic, underline,
// strike-out, alignment, bullets and the five numbering styles, indents) with all text that is
// not ASCII as `\uN` and an ANSI fallback.
#pragma once

#include <QByteArray>
#include <QByteArrayView>

class QTextDocument;

namespace marlo::richtext {

// An RTF file begins with "{\rtf"; anything else is plain text, whatever its name.
bool isRtf(QByteArrayView bytes);

// Each reader replaces the document's content, empties its undo history and clears its modified
// flag. None fails: what cannot be understood is skipped.
void readRtf(QByteArrayView rtf, QTextDocument& document);
// Plain text: UTF-8 or UTF-16 with a byte-order mark, UTF-8 when the bytes are valid UTF-8, else
// the given Windows code page. Lines may end in CR LF, LF or CR.
void readPlainText(QByteArrayView bytes, QTextDocument& document, int fallbackCodePage = 1250);
// RTF when the bytes are RTF, else plain text.
void readDocument(QByteArrayView bytes, QTextDocument& document);

QByteArray writeRtf(const QTextDocument& document);
// UTF-8, lines ending in CR LF as the program's other text files do.
QByteArray writePlainText(const QTextDocument& document);

}  // namespace marlo::richtext
