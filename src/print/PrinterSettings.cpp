#include "print/PrinterSettings.h"

#include "base/AppError.h"
#include "store/TillSettings.h"

#include <QDir>

namespace print {

namespace {

QString where(const QString &path, const QString &key)
{
    return QStringLiteral("“%1”中[printer]的%2").arg(QDir::toNativeSeparators(path), key);
}

const QString kSection = QStringLiteral("printer");

} // namespace

PrinterSettings readPrinterSettings(const QString &path)
{
    PrinterSettings out;
    const store::TillSettings settings(path);
    const QString kindText = settings.text(kSection, QStringLiteral("kind"));
    const QString kind = kindText.toLower();
    if (kind == QLatin1String("escpos"))
        out.kind = PrinterSettings::Kind::EscPos;
    else if (!kind.isEmpty() && kind != QLatin1String("cups"))
        throw AppError(QStringLiteral("%1“%2”无法识别：只能是cups(带驱动的打印机)或escpos(ESC/POS小票打印机)")
                           .arg(where(path, QStringLiteral("kind")), kindText));

    out.address = settings.text(kSection, QStringLiteral("address"));

    const QString drawerText = settings.text(kSection, QStringLiteral("drawer"));
    const QString drawer = drawerText.toLower();
    if (drawer == QLatin1String("true") || drawer == QLatin1String("1"))
        out.drawer = true;
    else if (!drawer.isEmpty() && drawer != QLatin1String("false") && drawer != QLatin1String("0"))
        throw AppError(QStringLiteral("%1“%2”无法识别：只能是true(打开钱箱)或false")
                           .arg(where(path, QStringLiteral("drawer")), drawerText));
    return out;
}

void writePrinterSettings(const PrinterSettings &settings, const QString &path)
{
    if (settings.address.contains(QLatin1Char('\n')) || settings.address.contains(QLatin1Char('\r')))
        throw AppError(QStringLiteral("ESC/POS打印机的地址不能分成几行"));
    store::setTillSettings(
        path, kSection,
        {{QStringLiteral("kind"), settings.kind == PrinterSettings::Kind::EscPos ? QStringLiteral("escpos")
                                                                                 : QStringLiteral("cups")},
         {QStringLiteral("address"), store::iniValue(settings.address.trimmed())},
         {QStringLiteral("drawer"), settings.drawer ? QStringLiteral("true") : QStringLiteral("false")}},
        QStringLiteral("打印机设置没有改变"));
}

} // namespace print
