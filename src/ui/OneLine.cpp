#include "ui/OneLine.h"

#include <QComboBox>
#include <QLineEdit>

namespace ui {

namespace {
bool isBreak(QChar c)
{
    return c == u'\n' || c == u'\r' || c == u'\t' || c == u'\v' || c == u'\f' || c == QChar::LineSeparator
        || c == QChar::ParagraphSeparator;
}

// C0 and C1 control characters and DEL: nothing a name shows.
bool isControl(QChar c)
{
    return c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() < 0xa0);
}

// Whether the code unit at i is one SQLite would not give back.
bool unstorableAt(const QString &text, qsizetype i)
{
    const QChar c = text[i];
    if (c.unicode() >= 0xfffe)
        return true;
    if (c.isHighSurrogate())
        return i + 1 >= text.size() || !text[i + 1].isLowSurrogate();
    if (c.isLowSurrogate())
        return i == 0 || !text[i - 1].isHighSurrogate();
    return false;
}

bool hasUnstorable(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (unstorableAt(text, i))
            return true;
    }
    return false;
}
} // namespace

QString storable(const QString &text)
{
    if (!hasUnstorable(text))
        return text;
    QString out = text;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (unstorableAt(text, i))
            out[i] = QChar::ReplacementCharacter;
    }
    return out;
}

QString oneLine(const QString &text)
{
    const QString kept = storable(text);
    QString out;
    out.reserve(kept.size());
    bool pendingSpace = false;
    for (QChar c : kept) {
        if (isBreak(c)) {
            pendingSpace = !out.isEmpty();
            continue;
        }
        if (isControl(c))
            continue;
        if (pendingSpace)
            out += u' ';
        pendingSpace = false;
        out += c;
    }
    return out;
}

QValidator::State OneLineValidator::validate(QString &input, int &pos) const
{
    if (std::none_of(input.cbegin(), input.cend(), [](QChar c) { return isBreak(c) || isControl(c); })
        && !hasUnstorable(input))
        return Acceptable;
    // The cursor stays after what was before it, and after the space that
    // stands for breaks just before it.
    const QString left = input.left(pos);
    int at = int(oneLine(left).size());
    input = oneLine(input);
    if (at > 0 && !left.isEmpty() && isBreak(left.back()) && at < input.size())
        ++at;
    pos = std::min<int>(at, int(input.size()));
    return Acceptable;
}

QValidator::State StorableValidator::validate(QString &input, int &) const
{
    // Each character is replaced in place: the cursor stays where it is.
    input = storable(input);
    return Acceptable;
}

void keepOneLine(QLineEdit *box)
{
    box->setValidator(new OneLineValidator(box));
}

void keepOneLine(QComboBox *box)
{
    box->setValidator(new OneLineValidator(box));
}

void keepStorable(QLineEdit *box)
{
    box->setValidator(new StorableValidator(box));
}

} // namespace ui
