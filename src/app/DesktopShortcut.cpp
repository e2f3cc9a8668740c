#include "app/DesktopShortcut.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace app {

QString shortcutFileName()
{
    return QStringLiteral("Velmora销售小票打印软件(标准版).desktop");
}

// Exec is quoted as the desktop-entry rules ask: inside the quotes '"', '`',
// '$' and '\\' get a backslash, '%' is doubled, and the value itself escapes
// its backslashes once more.
QString execQuoted(const QString &path)
{
    QString quoted;
    for (QChar c : path) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        if (c == QLatin1Char('%'))
            quoted += QLatin1Char('%');
        quoted += c;
    }
    quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString writeDesktopShortcut()
{
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (desktop.isEmpty() || !QDir().mkpath(desktop))
        return {};
    const QString program = QCoreApplication::applicationFilePath();
    const QString folder = QFileInfo(program).absolutePath();
    const QString path = QDir(desktop).filePath(shortcutFileName());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Version=1.0\n"
                                        "Name=Velmora销售小票打印软件(标准版)\n"
                                        "Exec=%1\n"
                                        "Path=%2\n"
                                        "Icon=%3\n"
                                        "Terminal=false\n"
                                        "Categories=Office;\n")
                             .arg(execQuoted(program), folder, program);
    file.write(text.toUtf8());
    if (!file.commit())
        return {};
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner | QFileDevice::ExeUser
                                    | QFileDevice::ExeGroup | QFileDevice::ExeOther);
    return path;
}

} // namespace app
