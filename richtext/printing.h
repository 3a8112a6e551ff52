// Printing a document page by page on a printer or into a PDF file.
#pragma once

#include <QString>

class QTextDocument;

namespace marlo::richtext {

struct PrintTarget {
  QString pdf;      // a file to print into; empty = a printer
  QString printer;  // empty = the system's default printer
  QString jobName;
};

// Lays the document out on the target's pages and prints them one by one. -1 when printed;
// otherwise the job could not be started and the result is the system's error number then.
// The document is laid out for the printer: pass a copy of what the editor shows.
int printDocument(QTextDocument& document, const PrintTarget& target);

}  // namespace marlo::richtext
