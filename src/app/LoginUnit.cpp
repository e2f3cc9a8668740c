#include "app/LoginUnit.h"

#include "app/DesktopShortcut.h"
#include "app/Rights.h"
#include "store/Schema.h"
#include "store/Idioms.h"
#include "store/Session.h"
#include "ticket/MainUnit.h"
#include "ui/ErrorDisplay.h"
#include "ui/FormKit.h"
#include "ui/ListChoice.h"
#include "ui/MessageBox.h"
#include "ui/PickList.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QVBoxLayout>

TLoginForm *LoginForm = nullptr;

namespace app {
QString makerPanelText()
{
    return QStringLiteral("  网站：www.velmora.cn");
}
} // namespace app

TLoginForm::TLoginForm(QWidget *parent)
    : ui::Form("LoginForm", QStringLiteral("登录软件"), QSize(346, 265), parent),
      ADOConnection1(connstr::designLong()),
      ADOQuery1(ADOConnection1, store::Listing::all(schema::username))
{
    ADOConnection1.setLoginPrompt(false);
    // Only the window menu: no close, minimise or maximise button.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint);

    auto *layout = new QVBoxLayout(this);
    auto *image = ui::make<QFrame>(this, "Image1");
    image->setAutoFillBackground(true);
    QPalette bg = image->palette();
    bg.setColor(QPalette::Window, QColor(232, 240, 250));
    image->setPalette(bg);
    auto *form = new QGridLayout(image);
    ComboBox1 = ui::make<QComboBox>(image, "ComboBox1");
    ComboBox1->setEditable(false);
    Label1 = ui::label(image, "Label1", QStringLiteral("用户名:"), ComboBox1);
    Edit1 = ui::make<QLineEdit>(image, "Edit1");
    ui::setPasswordBox(Edit1);
    Label2 = ui::label(image, "Label2", QStringLiteral("密  码:"), Edit1);
    Label3 = ui::make<QLabel>(image, "Label3", QStringLiteral("[用户名'admin'初始密码为空]"));
    QPalette blue = Label3->palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    Label3->setPalette(blue);
    form->setRowStretch(0, 1);
    form->addWidget(Label1, 1, 0);
    form->addWidget(ComboBox1, 1, 1);
    form->addWidget(Label2, 2, 0);
    form->addWidget(Edit1, 2, 1);
    form->addWidget(Label3, 3, 1);
    form->setRowStretch(4, 1);
    layout->addWidget(image, 1);

    auto *line = ui::make<QFrame>(this, "Panel1");
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line);
    auto *buttons = new QHBoxLayout;
    SpeedButton1 = ui::button(this, "SpeedButton1", QStringLiteral("确定"));
    SpeedButton2 = ui::button(this, "SpeedButton2", QStringLiteral("关闭"));
    buttons->addStretch(1);
    buttons->addWidget(SpeedButton1);
    buttons->addWidget(SpeedButton2);
    layout->addLayout(buttons);

    Edit2 = ui::make<QLineEdit>(this, "Edit2");
    Edit2->hide();
    Edit3 = ui::make<QLineEdit>(this, "Edit3");
    Edit3->hide();

    ui::on(SpeedButton1, &QPushButton::clicked, this, [this] { SpeedButton1Click(); });
    ui::on(SpeedButton2, &QPushButton::clicked, this, [this] { SpeedButton2Click(); });

    FormCreate();
}

TLoginForm::~TLoginForm()
{
    if (LoginForm == this)
        LoginForm = nullptr;
}

bool TLoginForm::RunLogin()
{
    auto *form = new TLoginForm(MainForm);
    LoginForm = form;
    const int result = form->exec();
    delete form;
    return result == QDialog::Accepted;
}

void TLoginForm::FormCreate()
{
    // Each step goes on even when an earlier one failed: the shortcut is a
    // convenience, and the user list must still be there.
    app::writeDesktopShortcut();
    // The last run's unfinished ticket goes whole: a start cut short leaves
    // it as it was, never half of it.
    ui::guarded([] { idiom::emptyTableAtOnce(MainForm->ADOQuery2); });
    ui::guarded([this] {
        ui::fillPickList(ComboBox1, ADOQuery1, schema::username, schema::col::yonghuming);
        if (ComboBox1->count() > 0)
            ComboBox1->setCurrentIndex(0);
    });
}

void TLoginForm::showEvent(QShowEvent *event)
{
    ui::Form::showEvent(event);
    Edit1->setFocus();
}

void TLoginForm::keyPressEvent(QKeyEvent *event)
{
    // Neither Enter nor Escape answers this window.
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        event->accept();
        return;
    default:
        ui::Form::keyPressEvent(event);
    }
}

void TLoginForm::SpeedButton1Click()
{
    // The user is looked up by exactly the chosen name: choosing 张 never
    // checks or applies the row of 张三.
    idiom::exactSearch(ADOQuery1, QStringLiteral("username"), QStringLiteral("用户名"), ComboBox1->currentText());
    const bool found = !ADOQuery1.isEmpty();
    Edit2->setText(ADOQuery1.fieldText(QStringLiteral("密码")));
    Edit3->setText(ADOQuery1.fieldText(QStringLiteral("权限")));
    if (!found || Edit1->text() != Edit2->text()) {
        // Answered after a wait that grows with every wrong password in a
        // row; 关闭 still gives up meanwhile.
        Gate.wrong({ComboBox1, Edit1, SpeedButton1}, [this] {
            msg::show(this, QStringLiteral("登录软件密码错误！"), msg::Icon::Error);
            Edit1->clear();
            Edit1->setFocus();
        });
        return;
    }
    Gate.right();
    setResult(QDialog::Accepted);
    ui::setListText(MainForm->ComboBox6, ComboBox1->currentText());
    MainForm->setStatusPanel(0, app::makerPanelText());
    MainForm->setStatusPanel(1, QStringLiteral("  用户权限：") + Edit3->text());
    const app::RightsColumn rights = app::rightsColumn(Edit3->text());
    // Who is logged in decides whose password may be changed.
    session::logIn({ComboBox1->currentText(), rights == app::RightsColumn::Administrator});
    app::applyRights(rights);
    accept();
}

void TLoginForm::SpeedButton2Click()
{
    reject();
}
