#pragma once
// The system's save-file dialog behind one function, so tests supply the name.
#include <QString>
#include <deque>

class QWidget;

namespace ui {
// The chosen file name, or an empty text when the user cancelled. The dialog
// does not ask before a file is replaced: the caller knows the name it writes
// (a suffix added) and asks about that one.
QString saveFileName(QWidget *owner, const QString &caption, const QString &directory, const QString &filter);

// Tests queue the names the next dialogs return (an empty name is a cancel);
// while names are queued no dialog is shown.
void queueSaveFileName(const QString &name);
void clearSaveFileNames();
int pendingSaveFileNames();
// The file types the last dialog offered (its filter).
QString lastSaveFileFilter();

// The system's choose-a-folder dialog: the chosen folder, or an empty text
// when the user cancelled. Tests queue the answers the same way.
QString existingFolder(QWidget *owner, const QString &caption, const QString &directory);
void queueFolderName(const QString &folder);
} // namespace ui
