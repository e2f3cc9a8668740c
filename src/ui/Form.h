#pragma once
// Base of the program's secondary windows: a fixed dialog frame with its
// caption, a window-menu icon and a close button, centred on the screen.
#include <QDialog>

namespace ui {
class Form : public QDialog {
    Q_OBJECT
public:
    Form(const char *objectName, const QString &caption, QSize client, QWidget *parent = nullptr);

protected:
    void showEvent(QShowEvent *event) override;
};
} // namespace ui
