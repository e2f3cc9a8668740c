#include "print/Printer.h"

#include "print/Cups.h"

namespace print {

namespace {
std::unique_ptr<Printer> &current()
{
    static std::unique_ptr<Printer> printer;
    return printer;
}
} // namespace

Printer &printer()
{
    if (!current())
        current() = std::make_unique<cups::CupsPrinter>();
    return *current();
}

void setPrinter(std::unique_ptr<Printer> replacement)
{
    current() = std::move(replacement);
}

QString refusal(const QString &what)
{
    QString text = what.trimmed();
    while (text.endsWith(QChar(0x3002)) || text.endsWith(QLatin1Char('.')) || text.endsWith(QChar(0xFF0C))
           || text.endsWith(QLatin1Char(',')))
        text.chop(1);
    return text + QStringLiteral("。单据已保留，处理好打印机后按F5重新打印。");
}

} // namespace print
