#include "ui/Form.h"

#include "ui/FormKit.h"

#include <QShowEvent>

namespace ui {
Form::Form(const char *objectName, const QString &caption, QSize client, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QString::fromLatin1(objectName));
    setWindowTitle(caption);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                   | Qt::MSWindowsFixedSizeDialogHint);
    if (client.isValid())
        setFixedSize(client);
}

void Form::showEvent(QShowEvent *event)
{
    // A dialog would stand over its parent window; these stand in the middle
    // of the screen, wherever the main window is.
    if (!event->spontaneous())
        centreOnScreen(this);
    QDialog::showEvent(event);
}
} // namespace ui
