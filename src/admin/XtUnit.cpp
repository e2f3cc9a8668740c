#include "admin/XtUnit.h"

#include "ui/FormKit.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

TXtForm *XtForm = nullptr;

TXtForm::TXtForm(QWidget *parent)
    : ui::Form("XtForm", QStringLiteral("系统设置"), QSize(454, 356), parent),
      ADOConnection1(connstr::designShort()),
      ADOQuery1(ADOConnection1, QStringLiteral("select * from username")),
      ADOQuery2(ADOConnection1, QStringLiteral("select * from spxx")),
      ADOQuery3(ADOConnection1, QStringLiteral("select * from dynr"))
{
    ADOConnection1.setLoginPrompt(false);
    for (Query *q : {&ADOQuery1, &ADOQuery2, &ADOQuery3})
        q->open();

    auto *layout = new QVBoxLayout(this);
    PageControl1 = ui::make<QTabWidget>(this, "PageControl1");
    layout->addWidget(PageControl1);
    TabSheet1 = ui::make<QWidget>(nullptr, "TabSheet1");
    TabSheet2 = ui::make<QWidget>(nullptr, "TabSheet2");
    TabSheet3 = ui::make<QWidget>(nullptr, "TabSheet3");
    PageControl1->addTab(TabSheet1, QStringLiteral("用户(收银员)"));
    PageControl1->addTab(TabSheet2, QStringLiteral("商品(添加、修改、删除)"));
    PageControl1->addTab(TabSheet3, QStringLiteral("打印内容"));

    auto *users = new QVBoxLayout(TabSheet1);
    auto *userButtons = new QHBoxLayout;
    SpeedButton1 = ui::button(TabSheet1, "SpeedButton1", QStringLiteral("添加"));
    SpeedButton2 = ui::button(TabSheet1, "SpeedButton2", QStringLiteral("修改"));
    SpeedButton3 = ui::button(TabSheet1, "SpeedButton3", QStringLiteral("删除"));
    userButtons->addWidget(SpeedButton1);
    userButtons->addWidget(SpeedButton2);
    userButtons->addWidget(SpeedButton3);
    users->addStretch(1);
    users->addLayout(userButtons);

    auto *content = new QVBoxLayout(TabSheet3);
    Edit1 = ui::make<QLineEdit>(TabSheet3, "Edit1");
    Memo1 = ui::make<QPlainTextEdit>(TabSheet3, "Memo1");
    content->addWidget(ui::label(TabSheet3, "Label1", QStringLiteral("店名："), Edit1));
    content->addWidget(Edit1);
    content->addWidget(ui::label(TabSheet3, "Label2", QStringLiteral("备注："), Memo1));
    content->addWidget(Memo1, 1);

    FormCreate();
}

TXtForm::~TXtForm()
{
    if (XtForm == this)
        XtForm = nullptr;
}

void TXtForm::FormCreate()
{
    Edit1->setText(ADOQuery3.fieldText(QStringLiteral("店名")));
    Memo1->setPlainText(ADOQuery3.fieldText(QStringLiteral("备注")));
}
