#include "ui/Help.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace ui {
namespace {
std::function<void(const QString &)> &opener()
{
    static std::function<void(const QString &)> o;
    return o;
}
} // namespace

QString helpFileName()
{
    return QStringLiteral("使用帮助.chm");
}

void setHelpOpener(std::function<void(const QString &)> o)
{
    opener() = std::move(o);
}

void openHelp(QWidget *)
{
    const QString path = QDir::current().absoluteFilePath(helpFileName());
    if (opener()) {
        opener()(path);
        return;
    }
    if (QFileInfo::exists(path))
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}
} // namespace ui
