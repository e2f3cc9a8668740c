#include "print/PrinterSettings.h"

#include "base/AppError.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace print {

namespace {

// A value as it stands in the file: QSettings reads "a,b" as a list.
QString text(const QSettings &settings, const QString &key)
{
    const QVariant value = settings.value(key);
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(',')).trimmed();
    return value.toString().trimmed();
}

QString where(const QString &path, const QString &key)
{
    return QStringLiteral("“%1”中[printer]的%2").arg(QDir::toNativeSeparators(path), key);
}

} // namespace

PrinterSettings readPrinterSettings(const QString &path)
{
    PrinterSettings out;
    if (!QFileInfo::exists(path))
        return out;
    QSettings settings(path, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError)
        throw AppError(QStringLiteral("无法读取设置文件“%1”%2")
                           .arg(QDir::toNativeSeparators(path),
                                settings.status() == QSettings::FormatError ? QStringLiteral("(格式不对)")
                                                                            : QString()));
    settings.beginGroup(QStringLiteral("printer"));

    const QString kind = text(settings, QStringLiteral("kind")).toLower();
    if (kind == QLatin1String("escpos"))
        out.kind = PrinterSettings::Kind::EscPos;
    else if (!kind.isEmpty() && kind != QLatin1String("cups"))
        throw AppError(QStringLiteral("%1“%2”无法识别：只能是cups(带驱动的打印机)或escpos(ESC/POS小票打印机)")
                           .arg(where(path, QStringLiteral("kind")), text(settings, QStringLiteral("kind"))));

    out.address = text(settings, QStringLiteral("address"));

    const QString drawer = text(settings, QStringLiteral("drawer")).toLower();
    if (drawer == QLatin1String("true") || drawer == QLatin1String("1"))
        out.drawer = true;
    else if (!drawer.isEmpty() && drawer != QLatin1String("false") && drawer != QLatin1String("0"))
        throw AppError(QStringLiteral("%1“%2”无法识别：只能是true(打开钱箱)或false")
                           .arg(where(path, QStringLiteral("drawer")), text(settings, QStringLiteral("drawer"))));
    return out;
}

} // namespace print
