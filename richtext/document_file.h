// Documents as files: the whole file is read before the document changes, so a file that cannot
// be read leaves the document as it was; a save goes to a temporary file beside the target that
// replaces it only once everything is written, so a failed save never costs the old file.
#pragma once

#include <QByteArray>
#include <QString>

class QTextDocument;

namespace marlo::richtext {

enum class FileFormat { rtf, plainText };

// A failed file operation: the system's error number and its message.
struct FileError {
  int code = 0;
  QString text;
  [[nodiscard]] bool failed() const { return code != 0; }
};

// Reads the file as RTF when it begins as RTF does, else as plain text, whatever its name.
FileError loadFile(const QString& path, QTextDocument& document);
FileError saveFile(const QString& path, const QTextDocument& document, FileFormat format);

// The same in two halves, for a document that lives on another thread than the file work: the
// whole file's bytes, and bytes written in place of a file as saveFile writes them.
FileError readFileBytes(const QString& path, QByteArray& bytes);
FileError writeFileBytes(const QString& path, const QByteArray& bytes);

// The system's message for an error number, or "Unable to retrieve error message for error # "
// and the number when the system has none.
QString systemErrorText(int code);

}  // namespace marlo::richtext
