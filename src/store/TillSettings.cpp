#include "store/TillSettings.h"

#include "base/AppError.h"
#include "base/Log.h"
#include "store/Engine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringList>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace store {

TillSettings::TillSettings(const QString &path) : path_(path)
{
    if (!QFileInfo::exists(path))
        return;
    settings_ = std::make_unique<QSettings>(path, QSettings::IniFormat);
    if (settings_->status() != QSettings::NoError)
        throw AppError(QStringLiteral("无法读取设置文件“%1”%2")
                           .arg(QDir::toNativeSeparators(path),
                                settings_->status() == QSettings::FormatError ? QStringLiteral("(格式不对)")
                                                                              : QString()));
}

TillSettings::~TillSettings() = default;

QString TillSettings::text(const QString &section, const QString &key) const
{
    if (!settings_)
        return {};
    const QVariant value = settings_->value(section + QLatin1Char('/') + key);
    // QSettings reads "a,b" as a list: the text is what the file says.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(',')).trimmed();
    return value.toString().trimmed();
}

bool TillSettings::contains(const QString &section, const QString &key) const
{
    return settings_ && settings_->contains(section + QLatin1Char('/') + key);
}

QString iniValue(const QString &value)
{
    // A comma makes a list, a semicolon starts a comment, blanks at the ends go.
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./:\\[\\]+-]*$"));
    if (plain.match(value).hasMatch())
        return value;
    QString quoted = value;
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

namespace {

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
            return systemErrorText(errno);
    }
    return qtSays;
}

} // namespace

void setTillSettings(const QString &path, const QString &section,
                     const QList<std::pair<QString, QString>> &values, const QString &unchanged)
{
    const auto cannot = [&](const QString &verb, const QString &why) {
        return AppError(QStringLiteral("无法%1设置文件“%2”(%3)，%4")
                            .arg(verb, QDir::toNativeSeparators(path), why, unchanged));
    };
    for (const auto &[key, value] : values) {
        if (value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r')))
            throw cannot(QStringLiteral("保存"), QStringLiteral("%1的值不能分成几行").arg(key));
    }
    QByteArray old;
    if (QFileInfo::exists(path)) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw cannot(QStringLiteral("读取"), file.errorString());
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

    // Each key is set where it stands in any such section; keys not there go
    // after the last line of the last one.
    bool inSection = false;
    qsizetype lastSectionLine = -1;
    QStringList missing;
    for (const auto &[key, value] : values)
        missing << key;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (const QString name = sectionOf(lines[i]); !name.isNull()) {
            inSection = name == section;
            if (inSection)
                lastSectionLine = i;
            continue;
        }
        if (!inSection)
            continue;
        if (!lines[i].trimmed().isEmpty())
            lastSectionLine = i;
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
    if (lastSectionLine >= 0) {
        for (qsizetype i = 0; i < added.size(); ++i)
            lines.insert(lastSectionLine + 1 + i, added[i]);
    } else {
        if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
            lines << QString();
        lines << QLatin1Char('[') + section + QLatin1Char(']') << added;
    }

    // A file made read-only stays as it is: replacing it through its
    // folder would go round what its owner asked for.
    if (QFileInfo::exists(path)
        && ::faccessat(AT_FDCWD, QFile::encodeName(path).constData(), W_OK, AT_EACCESS) != 0)
        throw cannot(QStringLiteral("保存"), systemErrorText(errno));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw cannot(QStringLiteral("保存"), whyNotWritable(path, file.errorString()));
    file.write((lines.join(eol) + eol).toUtf8());
    if (!file.commit())
        throw cannot(QStringLiteral("保存"), whyNotWritable(path, file.errorString()));
}

bool serverConfigured(const QString &iniPath)
{
    try {
        return !TillSettings(iniPath).text(QStringLiteral("server"), QStringLiteral("connection")).isEmpty();
    } catch (const AppError &e) {
        // The mode of a till is not guessed from a file it cannot read: it
        // stays the single-file till, and the file's fault is told where
        // the file is read for its own section.
        qCWarning(lcStore, "%s", qPrintable(e.message()));
        return false;
    }
}

} // namespace store
