#include "ui/FileDialog.h"

#include <QFileDialog>

namespace ui {
namespace {
std::deque<QString> &queued()
{
    static std::deque<QString> names;
    return names;
}

std::deque<QString> &queuedFolders()
{
    static std::deque<QString> folders;
    return folders;
}

QString &lastFilter()
{
    static QString filter;
    return filter;
}
} // namespace

QString saveFileName(QWidget *owner, const QString &caption, const QString &directory, const QString &filter)
{
    lastFilter() = filter;
    if (!queued().empty()) {
        QString name = queued().front();
        queued().pop_front();
        return name;
    }
    return QFileDialog::getSaveFileName(owner, caption, directory, filter, nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

void queueSaveFileName(const QString &name)
{
    queued().push_back(name);
}

void clearSaveFileNames()
{
    queued().clear();
}

int pendingSaveFileNames()
{
    return static_cast<int>(queued().size());
}

QString lastSaveFileFilter()
{
    return lastFilter();
}

QString existingFolder(QWidget *owner, const QString &caption, const QString &directory)
{
    if (!queuedFolders().empty()) {
        QString folder = queuedFolders().front();
        queuedFolders().pop_front();
        return folder;
    }
    return QFileDialog::getExistingDirectory(owner, caption, directory);
}

void queueFolderName(const QString &folder)
{
    queuedFolders().push_back(folder);
}
} // namespace ui
