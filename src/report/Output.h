#pragma once
// A layout's page as a file or a picture: the PDF handed to the printer, and
// the image a thermal printer would make of it.
#include "report/Report.h"

#include <QIODevice>
#include <QImage>

namespace report {

// Writes the page to a PDF of the page's size in millimetres, the layout's
// margins set on the page. Throws AppError when the file cannot be written
// or the margins do not leave room to print.
void writePdf(const QString &path, Layout &layout, const Data &data, const QString &title = {});
// The same PDF written to an open device: a receipt goes to the printer from
// memory and never lies in a file.
void writePdf(QIODevice &device, Layout &layout, const Data &data, const QString &title = {});

// The page at the given resolution; oneBit gives pure black on white at a
// middle threshold, as a thermal printer burns it.
QImage renderImage(Layout &layout, const Data &data, qreal dpi, bool oneBit);

} // namespace report
