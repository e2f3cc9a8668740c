#pragma once
// The program's windows, created once at start in a fixed order and kept
// for the whole run, each reachable by its name.
#include <QString>
#include <QStringList>

class QWidget;

namespace app {
// Creates them in order; throws when data.mdb cannot be opened (the windows
// made so far are destroyed again).
void createForms();
void destroyForms();
QWidget *formByName(const QString &name);
QStringList formNames(); // in creation order
} // namespace app
