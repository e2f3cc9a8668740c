#pragma once
#include <QString>

namespace app {
// "Velmora销售小票打印软件(标准版).desktop"
QString shortcutFileName();
// Writes the desktop launcher to the program (replacing any), marked
// executable; returns its path, or an empty text when it could not be
// written (nothing is shown then). A program started by the installed
// launcher (VELMORA_LAUNCHER) gets a shortcut to that launcher instead.
QString writeDesktopShortcut();
// The program path as the launcher's Exec line holds it.
QString execQuoted(const QString &path);
} // namespace app
