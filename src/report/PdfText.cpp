#include "report/PdfText.h"

#include <QRawFont>
#include <QRegularExpression>

namespace report {

namespace {

QString faceKey(const QFont &font)
{
    return font.families().join(QLatin1Char(',')) + QLatin1Char('/') + QString::number(font.weight())
        + QLatin1Char('/') + QString::number(int(font.style()));
}

bool isSurrogate(char16_t c)
{
    return c >= 0xD800 && c <= 0xDFFF;
}

// For each glyph of the face, the lowest code point mapped to it: the one
// Qt's PDF writer names it by.
const QHash<quint32, char16_t> &lowestCodePoints(const QString &key, const QRawFont &raw)
{
    static QHash<QString, QHash<quint32, char16_t>> faces;
    const auto found = faces.constFind(key);
    if (found != faces.constEnd())
        return found.value();
    QString all;
    all.reserve(0x10000);
    for (char32_t c = 0; c < 0x10000; ++c) {
        if (!isSurrogate(char16_t(c)))
            all.append(QChar(char16_t(c)));
    }
    const QList<quint32> glyphs = raw.glyphIndexesForString(all);
    QHash<quint32, char16_t> lowest;
    if (glyphs.size() == all.size()) {
        for (qsizetype i = glyphs.size() - 1; i >= 0; --i)
            lowest.insert(glyphs[i], all[i].unicode());
    }
    return *faces.insert(key, lowest);
}

int hexValue(const QByteArray &data, qsizetype at, qsizetype len)
{
    bool ok = false;
    const int v = data.mid(at, len).toInt(&ok, 16);
    return ok ? v : -1;
}

// Reads ToUnicode map entries from a stream's text and renames their
// destination code points in place.
class MapMender {
public:
    MapMender(QByteArray &data, qsizetype from, qsizetype to, const QHash<char16_t, char16_t> &renames)
        : data_(data), p_(from), end_(to), renames_(renames)
    {
    }

    int run()
    {
        mendBlocks("beginbfrange", "endbfrange", true);
        mendBlocks("beginbfchar", "endbfchar", false);
        return renamed_;
    }

private:
    struct Hex {
        qsizetype at = -1; // first digit
        qsizetype len = 0;
    };

    void mendBlocks(const char *begin, const char *finish, bool ranges)
    {
        const qsizetype start = p_;
        for (qsizetype b = data_.indexOf(begin, start); b >= 0 && b < end_; b = data_.indexOf(begin, p_)) {
            const qsizetype e = data_.indexOf(finish, b);
            if (e < 0 || e > end_)
                break;
            p_ = b + qstrlen(begin);
            blockEnd_ = e;
            ranges ? mendRanges() : mendChars();
            p_ = e + qstrlen(finish);
        }
        p_ = start;
    }

    void skipBlanks()
    {
        while (p_ < blockEnd_ && QChar::isSpace(uchar(data_[p_])))
            ++p_;
    }

    Hex nextHex()
    {
        skipBlanks();
        if (p_ >= blockEnd_ || data_[p_] != '<')
            return {};
        const qsizetype close = data_.indexOf('>', p_);
        if (close < 0 || close > blockEnd_)
            return {};
        Hex h{p_ + 1, close - p_ - 1};
        p_ = close + 1;
        return h;
    }

    void rename(const Hex &h)
    {
        if (h.len != 4)
            return;
        const int code = hexValue(data_, h.at, h.len);
        const auto to = renames_.constFind(char16_t(code));
        if (code < 0 || to == renames_.constEnd())
            return;
        const QByteArray digits = QByteArray::number(uint(to.value()), 16).toUpper().rightJustified(4, '0');
        data_.replace(h.at, 4, digits);
        ++renamed_;
    }

    // <first> <last> <code>, or <first> <last> [<code> <code> …]. A range of
    // consecutive codes is left alone: one name cannot be changed in it.
    void mendRanges()
    {
        for (;;) {
            const Hex first = nextHex();
            const Hex last = nextHex();
            if (first.at < 0 || last.at < 0)
                return;
            skipBlanks();
            if (p_ < blockEnd_ && data_[p_] == '[') {
                ++p_;
                for (Hex code = nextHex(); code.at >= 0; code = nextHex())
                    rename(code);
                skipBlanks();
                if (p_ >= blockEnd_ || data_[p_] != ']')
                    return;
                ++p_;
                continue;
            }
            const Hex code = nextHex();
            if (code.at < 0)
                return;
            if (hexValue(data_, first.at, first.len) == hexValue(data_, last.at, last.len))
                rename(code);
        }
    }

    // <glyph> <code> pairs.
    void mendChars()
    {
        for (;;) {
            const Hex glyph = nextHex();
            const Hex code = nextHex();
            if (glyph.at < 0 || code.at < 0)
                return;
            rename(code);
        }
    }

    QByteArray &data_;
    qsizetype p_;
    qsizetype end_;
    qsizetype blockEnd_ = 0;
    const QHash<char16_t, char16_t> &renames_;
    int renamed_ = 0;
};

} // namespace

void DrawnText::add(const QFont &font, const QString &text)
{
    const QString key = faceKey(font);
    if (!fonts_.contains(key))
        fonts_.insert(key, font);
    QSet<char16_t> &chars = byFace_[key];
    for (QChar c : text) {
        if (isSurrogate(c.unicode()))
            continue;
        chars.insert(c.unicode());
        drawn_.insert(c.unicode());
    }
}

QHash<char16_t, char16_t> DrawnText::renames() const
{
    QHash<char16_t, char16_t> out;
    for (auto face = byFace_.constBegin(); face != byFace_.constEnd(); ++face) {
        const QRawFont raw = QRawFont::fromFont(fonts_.value(face.key()));
        if (!raw.isValid())
            continue;
        const QHash<quint32, char16_t> &lowest = lowestCodePoints(face.key(), raw);
        for (char16_t c : face.value()) {
            const QList<quint32> glyph = raw.glyphIndexesForString(QString(QChar(c)));
            if (glyph.size() != 1 || glyph[0] == 0)
                continue;
            const char16_t named = lowest.value(glyph[0], c);
            if (named != c && !drawn_.contains(named) && !out.contains(named))
                out.insert(named, c);
        }
    }
    return out;
}

int mendTextLayer(QByteArray &pdf, const DrawnText &drawn)
{
    const QHash<char16_t, char16_t> renames = drawn.renames();
    if (renames.isEmpty())
        return 0;
    int renamed = 0;
    static const QRegularExpression toUnicode(QStringLiteral("/ToUnicode\\s+(\\d+)\\s+0\\s+R"));
    // The file is Latin-1 as far as its structure goes.
    const QString structure = QString::fromLatin1(pdf);
    for (auto it = toUnicode.globalMatch(structure); it.hasNext();) {
        const QByteArray header = "\n" + it.next().captured(1).toLatin1() + " 0 obj";
        const qsizetype object = pdf.indexOf(header);
        if (object < 0)
            continue;
        const qsizetype stream = pdf.indexOf("stream", object);
        const qsizetype dictionaryEnd = pdf.indexOf(">>", object);
        // A compressed map would need the whole file rewritten: left as Qt wrote it.
        if (stream < 0 || pdf.mid(object, stream - object).contains("/Filter"))
            continue;
        const qsizetype from = stream + 6;
        const qsizetype to = pdf.indexOf("endstream", from);
        if (to < 0 || dictionaryEnd > stream)
            continue;
        renamed += MapMender(pdf, from, to, renames).run();
    }
    return renamed;
}

} // namespace report
