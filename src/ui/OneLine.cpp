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
} // namespace

QString oneLine(const QString &text)
{
    QString out;
    out.reserve(text.size());
    bool pendingSpace = false;
    for (QChar c : text) {
        if (isBreak(c)) {
            pendingSpace = !out.isEmpty();
            continue;
        }
        if (pendingSpace)
            out += u' ';
        pendingSpace = false;
        out += c;
    }
    return out;
}

QValidator::State OneLineValidator::validate(QString &input, int &pos) const
{
    if (std::none_of(input.cbegin(), input.cend(), isBreak))
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

void keepOneLine(QLineEdit *box)
{
    box->setValidator(new OneLineValidator(box));
}

void keepOneLine(QComboBox *box)
{
    box->setValidator(new OneLineValidator(box));
}

} // namespace ui
