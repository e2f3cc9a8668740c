#include "print/Printer.h"

#include "print/Cups.h"
#include "print/EscPosPrinter.h"
#include "print/PrinterSettings.h"
#include "base/AppError.h"

namespace print {

namespace {

// The printer velmora.ini names, read again for every receipt, so a till set
// up anew prints on its new printer at once.
class ConfiguredPrinter : public Printer {
public:
    void print(report::Layout &layout, const report::Data &data, const QString &title) override
    {
        PrinterSettings settings;
        escpos::Address address;
        try {
            settings = readPrinterSettings();
            if (settings.kind == PrinterSettings::Kind::EscPos)
                address = escpos::parseAddress(settings.address);
        } catch (const AppError &e) {
            throw AppError(refusal(e.message() + QStringLiteral("。请改好“%1”中的[printer]，小票没有打印")
                                                     .arg(kSettingsFile)));
        }
        if (settings.kind == PrinterSettings::Kind::Cups)
            cups::CupsPrinter().print(layout, data, title);
        else
            escpos::EscPosPrinter(address, settings.drawer).print(layout, data, title);
    }
};

std::unique_ptr<Printer> &current()
{
    static std::unique_ptr<Printer> printer;
    return printer;
}

} // namespace

Printer &printer()
{
    if (!current())
        current() = std::make_unique<ConfiguredPrinter>();
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
