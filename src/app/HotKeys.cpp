#include "app/HotKeys.h"

#include "ticket/MainUnit.h"
#include "ui/ErrorDisplay.h"

#include <QApplication>
#include <QKeyEvent>

namespace app {

HotKeys::HotKeys(QObject *parent) : QObject(parent)
{
    qApp->installEventFilter(this);
}

HotKeys::~HotKeys()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

bool HotKeys::eventFilter(QObject *, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    int virtualKey = 0;
    if (key->key() == Qt::Key_F5)
        virtualKey = TMainForm::kVkF5;
    else if (key->key() == Qt::Key_F1)
        virtualKey = TMainForm::kVkF1;
    else
        return false;
    if (!MainForm || key->isAutoRepeat())
        return true;
    // Dispatched by key code, as a hot-key message would be.
    ui::guarded([virtualKey] { MainForm->WMHotKey(virtualKey); });
    return true;
}

} // namespace app
