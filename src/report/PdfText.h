#pragma once
// The text layer of the PDFs Qt writes: what a reader copies, searches or
// extracts. Qt names each glyph by the lowest code point the font maps to
// it, and the Chinese faces map Kangxi radicals, Extension A ideographs and
// other look-alikes to the glyphs of everyday characters: 客户 came out as
// 客⼾, 山 as ⼭, 胶 as 㬵. Where the page drew the character and not the
// code point Qt chose, the map is made to name the drawn character.
#include <QByteArray>
#include <QFont>
#include <QHash>
#include <QSet>
#include <QString>

namespace report {

// The characters a page was drawn with, and the fonts they were drawn in.
class DrawnText {
public:
    void add(const QFont &font, const QString &text);
    // The code point each misnamed glyph should carry instead: for a code
    // point Qt prefers that the page never drew, the drawn one sharing its
    // glyph.
    QHash<char16_t, char16_t> renames() const;

private:
    QHash<QString, QFont> fonts_;        // by face
    QHash<QString, QSet<char16_t>> byFace_;
    QSet<char16_t> drawn_;
};

// Renames, in place, the code points of the PDF's ToUnicode maps. Each name
// keeps its length, so nothing else in the file moves. Returns how many
// entries were renamed.
int mendTextLayer(QByteArray &pdf, const DrawnText &drawn);

} // namespace report
