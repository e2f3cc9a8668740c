#pragma once
// Breaking a text into the lines a multi-line box of a given width shows.
#include <QFont>
#include <QStringList>

namespace report {

// Every line break starts a line; a line wider than the box wraps, at a word
// boundary where there is one, else between characters (Han text breaks
// anywhere); a final empty line does not count, so an empty text has none.
// Measured at the screen's 96 pixels per inch, whatever the display.
QStringList wrapLines(const QString &text, const QFont &font, qreal widthPx);

} // namespace report
