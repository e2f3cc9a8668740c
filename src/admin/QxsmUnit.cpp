#include "admin/QxsmUnit.h"

#include "ui/ErrorDisplay.h"
#include "ui/FormKit.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

TQxsmForm *QxsmForm = nullptr;

TQxsmForm::TQxsmForm(QWidget *parent)
    : ui::Form("QxsmForm", QStringLiteral("权限说明"), QSize(), parent)
{
    // A frame that can be resized.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    resize(324, 232);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 16, 24, 12);
    layout->setSpacing(10);
    Label1 = ui::make<QLabel>(this, "Label1", QStringLiteral("普通用户与管理员(admin)的权限区别："));
    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);
    Label2 = ui::make<QLabel>(this, "Label2", QStringLiteral("1.不可添加、删除用户(收银员)。"));
    Label3 = ui::make<QLabel>(this, "Label3", QStringLiteral("2.不可设置打印内容。"));
    Label4 = ui::make<QLabel>(this, "Label4", QStringLiteral("3.不可更改单号。"));
    Label5 = ui::make<QLabel>(this, "Label5", QStringLiteral("4.不可删除销售信息。"));
    layout->addWidget(Label1);
    for (QLabel *rule : {Label2, Label3, Label4, Label5}) {
        rule->setIndent(16);
        layout->addWidget(rule);
    }
    layout->addStretch(1);

    auto *buttons = new QHBoxLayout;
    SpeedButton1 = ui::button(this, "SpeedButton1", QStringLiteral("确定"));
    buttons->addStretch(1);
    buttons->addWidget(SpeedButton1);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    ui::on(SpeedButton1, &QPushButton::clicked, this, [this] { SpeedButton1Click(); });
}

TQxsmForm::~TQxsmForm()
{
    if (QxsmForm == this)
        QxsmForm = nullptr;
}

void TQxsmForm::SpeedButton1Click()
{
    close();
}
