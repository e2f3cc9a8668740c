#include "print/PrinterSettings.h"

#include "base/AppError.h"
#include "store/Engine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSettings>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

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

// A value as QSettings reads it back unchanged: plain when it holds nothing
// the INI format gives a meaning to (a comma makes a list, a semicolon
// starts a comment, blanks at the ends go), quoted otherwise.
QString iniValue(const QString &value)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./:\\[\\]+-]*$"));
    if (plain.match(value).hasMatch())
        return value;
    QString quoted = value;
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// The name of a section header line, or a null string for any other line.
QString sectionOf(const QString &line)
{
    const QString t = line.trimmed();
    if (!t.startsWith(QLatin1Char('[')))
        return {};
    const qsizetype close = t.indexOf(QLatin1Char(']'));
    return close < 0 ? QString() : t.mid(1, close - 1).trimmed();
}

// The key of a "key=value" line, or a null string (comments, blank lines).
QString keyOf(const QString &line)
{
    const QString t = line.trimmed();
    if (t.isEmpty() || t.startsWith(QLatin1Char(';')) || t.startsWith(QLatin1Char('#')))
        return {};
    const qsizetype equals = t.indexOf(QLatin1Char('='));
    return equals < 0 ? QString() : t.left(equals).trimmed();
}

// Why the file cannot be replaced, in the cashier's words when the folder
// or the file refuses writing; otherwise what Qt says.
QString whyNotWritable(const QString &path, const QString &qtSays)
{
    const QFileInfo info(path);
    for (const QString &p : {info.absolutePath(), info.exists() ? info.absoluteFilePath() : QString()}) {
        if (!p.isEmpty() && ::faccessat(AT_FDCWD, QFile::encodeName(p).constData(), W_OK, AT_EACCESS) != 0)
            return store::systemErrorText(errno);
    }
    return qtSays;
}

[[noreturn]] void cannotSave(const QString &path, const QString &why)
{
    throw AppError(QStringLiteral("无法保存设置文件“%1”(%2)，打印机设置没有改变")
                       .arg(QDir::toNativeSeparators(path), why));
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

void writePrinterSettings(const PrinterSettings &settings, const QString &path)
{
    if (settings.address.contains(QLatin1Char('\n')) || settings.address.contains(QLatin1Char('\r')))
        throw AppError(QStringLiteral("ESC/POS打印机的地址不能分成几行"));
    const std::pair<QString, QString> values[] = {
        {QStringLiteral("kind"), settings.kind == PrinterSettings::Kind::EscPos ? QStringLiteral("escpos")
                                                                                : QStringLiteral("cups")},
        {QStringLiteral("address"), iniValue(settings.address.trimmed())},
        {QStringLiteral("drawer"), settings.drawer ? QStringLiteral("true") : QStringLiteral("false")},
    };

    QByteArray old;
    if (QFileInfo::exists(path)) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw AppError(QStringLiteral("无法读取设置文件“%1”(%2)，打印机设置没有改变")
                               .arg(QDir::toNativeSeparators(path), file.errorString()));
        old = file.readAll();
    }
    // Lines end as they ended: a file written on Windows keeps its CR LF.
    const QString eol = old.contains("\r\n") ? QStringLiteral("\r\n") : QStringLiteral("\n");
    QStringList lines = QString::fromUtf8(old).split(QLatin1Char('\n'));
    for (QString &line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    const bool endsWithBreak = old.isEmpty() || old.endsWith('\n');
    if (endsWithBreak)
        lines.removeLast(); // the empty text after the last line break

    // Each key is set where it stands in any [printer] section; keys not
    // there go after the last line of the last one.
    bool inPrinter = false;
    qsizetype lastPrinterLine = -1;
    QStringList missing;
    for (const auto &[key, value] : values)
        missing << key;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (const QString section = sectionOf(lines[i]); !section.isNull()) {
            inPrinter = section == QLatin1String("printer");
            if (inPrinter)
                lastPrinterLine = i;
            continue;
        }
        if (!inPrinter)
            continue;
        if (!lines[i].trimmed().isEmpty())
            lastPrinterLine = i;
        const QString key = keyOf(lines[i]);
        for (const auto &[name, value] : values) {
            if (key == name) {
                lines[i] = name + QLatin1Char('=') + value;
                missing.removeAll(name);
            }
        }
    }
    QStringList added;
    for (const auto &[name, value] : values) {
        if (missing.contains(name))
            added << name + QLatin1Char('=') + value;
    }
    if (lastPrinterLine >= 0) {
        for (qsizetype i = 0; i < added.size(); ++i)
            lines.insert(lastPrinterLine + 1 + i, added[i]);
    } else {
        if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
            lines << QString();
        lines << QStringLiteral("[printer]") << added;
    }

    // A file made read-only stays as it is: replacing it through its
    // folder would go round what its owner asked for.
    if (QFileInfo::exists(path)
        && ::faccessat(AT_FDCWD, QFile::encodeName(path).constData(), W_OK, AT_EACCESS) != 0)
        cannotSave(path, store::systemErrorText(errno));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        cannotSave(path, whyNotWritable(path, file.errorString()));
    file.write((lines.join(eol) + eol).toUtf8());
    if (!file.commit())
        cannotSave(path, whyNotWritable(path, file.errorString()));
}

} // namespace print
