#include "richtext/printing.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QPrinter>
#include <QTextDocument>
#include <cerrno>

namespace marlo::richtext {

int printDocument(QTextDocument& document, const PrintTarget& target) {
  QPrinter printer(QPrinter::HighResolution);
  if (!target.pdf.isEmpty()) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(target.pdf);
  } else if (!target.printer.isEmpty()) {
    printer.setPrinterName(target.printer);
  }
  printer.setDocName(target.jobName);
  errno = 0;
  QPainter painter;
  if (!painter.begin(&printer)) return errno;

  // Measured in the printer's own units, so the pages break where the printer's fonts put them.
  const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
  document.documentLayout()->setPaintDevice(&printer);
  document.setPageSize(page.size());
  const int pages = document.pageCount();
  for (int i = 0; i < pages; ++i) {
    if (i > 0) printer.newPage();
    const QRectF shown(0, i * page.height(), page.width(), page.height());
    painter.save();
    painter.translate(0, -shown.top());
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = shown;
    document.documentLayout()->draw(&painter, context);
    painter.restore();
  }
  painter.end();
  return -1;
}

}  // namespace marlo::richtext
