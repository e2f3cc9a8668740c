#pragma once
// Breaking a text into the lines a multi-line box of a given width shows,
// and the room a text takes on the page.
#include <QFont>
#include <QStringList>

namespace report {

// Every line break starts a line; a line wider than the box wraps, at a word
// boundary where there is one, else between characters (Han text breaks
// anywhere); a final empty line does not count, so an empty text has none.
// Measured at the screen's 96 pixels per inch, whatever the display.
QStringList wrapLines(const QString &text, const QFont &font, qreal widthPx);

// Texts on the page are measured at the PDF writer's 1200 dots per inch,
// where glyphs keep the widths their font gives them: what fits there fits
// on every device, and the page comes out the same length everywhere.

// The width a text takes, in mm: its advance, or its ink where that
// reaches further.
qreal textWidthMm(const QFont &font, const QString &text);
// The lines a text takes in a room so many mm wide, broken as wrapLines does.
QStringList wrapLinesMm(const QString &text, const QFont &font, qreal widthMm);

} // namespace report
