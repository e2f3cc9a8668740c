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

namespace {

// The installed program is started by a launcher (/usr/bin/velmora) that
// makes the user's data folder and places data.mdb in it; the program's own
// folder holds no data.mdb then. The launcher names itself in VELMORA_LAUNCHER.
QString launcherPath()
{
    const QString launcher = qEnvironmentVariable("VELMORA_LAUNCHER");
    const QFileInfo info(launcher);
    if (launcher.isEmpty() || !info.isAbsolute() || !info.isFile() || !info.isExecutable())
        return {};
    return launcher;
}

} // namespace

QString writeDesktopShortcut()
{
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (desktop.isEmpty() || !QDir().mkpath(desktop))
        return {};
    const QString launcher = launcherPath();
    // Through a launcher the shortcut starts it again in the same folder, with
    // the icon the package installs; otherwise it starts this program in its own.
    const QString program = launcher.isEmpty() ? QCoreApplication::applicationFilePath() : launcher;
    const QString folder = launcher.isEmpty() ? QFileInfo(program).absolutePath() : QDir::currentPath();
    const QString icon = launcher.isEmpty() ? program : QStringLiteral("velmora");
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
                             .arg(execQuoted(program), folder, icon);
    file.write(text.toUtf8());
    if (!file.commit())
        return {};
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner | QFileDevice::ExeUser
                                    | QFileDevice::ExeGroup | QFileDevice::ExeOther);
    return path;
}

} // namespace app
