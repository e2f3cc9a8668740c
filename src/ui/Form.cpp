#include "ui/Form.h"

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
} // namespace ui
