#include "ui/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace msg {
namespace {
Hook &hook()
{
    static Hook h;
    return h;
}
} // namespace

QString defaultTitle()
{
    return QStringLiteral("提示");
}

void setHook(Hook h)
{
    hook() = std::move(h);
}

Answer show(QWidget *owner, const QString &text, Icon icon, Buttons buttons, const QString &title,
            const QStringList &captions)
{
    if (hook()) {
        Prompt p;
        p.owner = owner ? owner->window()->objectName() : QString();
        p.title = title;
        p.text = text;
        p.icon = icon;
        p.buttons = buttons;
        p.captions = captions;
        return hook()(p);
    }
    QMessageBox box(owner ? owner->window() : QApplication::activeWindow());
    box.setWindowTitle(title);
    box.setText(text);
    switch (icon) {
    case Icon::None: box.setIcon(QMessageBox::NoIcon); break;
    case Icon::Information: box.setIcon(QMessageBox::Information); break;
    case Icon::Warning: box.setIcon(QMessageBox::Warning); break;
    case Icon::Error: box.setIcon(QMessageBox::Critical); break;
    case Icon::Question: box.setIcon(QMessageBox::Question); break;
    }
    switch (buttons) {
    case Buttons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case Buttons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case Buttons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case Buttons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        break;
    }
    // Captions as the cashier reads them, whatever the desktop's language.
    if (auto *b = box.button(QMessageBox::Ok)) b->setText(QStringLiteral("确定"));
    if (auto *b = box.button(QMessageBox::Cancel)) b->setText(QStringLiteral("取消"));
    if (auto *b = box.button(QMessageBox::Yes)) b->setText(QStringLiteral("是"));
    if (auto *b = box.button(QMessageBox::No)) b->setText(QStringLiteral("否"));
    const QMessageBox::StandardButton order[] = {QMessageBox::Ok, QMessageBox::Yes, QMessageBox::No,
                                                 QMessageBox::Cancel};
    int next = 0;
    for (QMessageBox::StandardButton which : order) {
        QAbstractButton *b = box.button(which);
        if (b && next < captions.size())
            b->setText(captions.at(next++));
    }
    switch (box.exec()) {
    case QMessageBox::Ok: return Answer::Ok;
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    default: return Answer::Cancel;
    }
}

} // namespace msg
