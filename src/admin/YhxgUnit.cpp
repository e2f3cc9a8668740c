#include "admin/YhxgUnit.h"

#include "base/AppError.h"
#include "store/Idioms.h"
#include "store/Query.h"
#include "store/Schema.h"
#include "store/Session.h"
#include "ui/ErrorDisplay.h"
#include "ui/FormKit.h"
#include "ui/MessageBox.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QShowEvent>
#include <QVBoxLayout>

TYhxgForm *YhxgForm = nullptr;

namespace {
const QString kAdministrator = QStringLiteral("管理员");
const QString kOrdinary = QStringLiteral("普通用户");
} // namespace

TYhxgForm::TYhxgForm(QWidget *parent)
    : ui::Form("YhxgForm", QStringLiteral("修改用户信息"), QSize(), parent)
{
    // A frame that can be resized.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    resize(262, 274);

    auto *form = new QGridLayout;
    Edit1 = ui::make<QLineEdit>(this, "Edit1");
    ui::setEditable(Edit1, false);
    Label1 = ui::label(this, "Label1", QStringLiteral("用户名："), Edit1);
    Edit2 = ui::make<QLineEdit>(this, "Edit2");
    ui::setPasswordBox(Edit2);
    Label2 = ui::label(this, "Label2", QStringLiteral("旧密码："), Edit2);
    Edit3 = ui::make<QLineEdit>(this, "Edit3");
    ui::setPasswordBox(Edit3);
    Label3 = ui::label(this, "Label3", QStringLiteral("新密码："), Edit3);
    ComboBox1 = ui::make<QComboBox>(this, "ComboBox1");
    ComboBox1->addItems({kAdministrator, kOrdinary});
    Label4 = ui::label(this, "Label4", QStringLiteral("权  限："), ComboBox1);
    form->addWidget(Label1, 0, 0);
    form->addWidget(Edit1, 0, 1);
    form->addWidget(Label2, 1, 0);
    form->addWidget(Edit2, 1, 1);
    form->addWidget(Label3, 2, 0);
    form->addWidget(Edit3, 2, 1);
    form->addWidget(Label4, 3, 0);
    form->addWidget(ComboBox1, 3, 1);
    SpeedButton1 = ui::button(this, "SpeedButton1", QStringLiteral("修改"));
    SpeedButton2 = ui::button(this, "SpeedButton2", QStringLiteral("关闭"));
    ui::layOutDialog(this, form, {SpeedButton1, SpeedButton2}, 14);

    ui::on(SpeedButton1, &QPushButton::clicked, this, [this] { SpeedButton1Click(); });
    ui::on(SpeedButton2, &QPushButton::clicked, this, [this] { SpeedButton2Click(); });
}

TYhxgForm::~TYhxgForm()
{
    if (YhxgForm == this)
        YhxgForm = nullptr;
}

bool TYhxgForm::mayChange(const QString &userName)
{
    const auto &user = session::current();
    return user && (user->administrator || user->name == userName);
}

void TYhxgForm::Open(Query &users, QWidget *owner)
{
    if (!mayChange(users.fieldText(schema::col::yonghuming))) {
        msg::show(owner, QStringLiteral("普通用户只能修改自己的密码！"), msg::Icon::Warning);
        return;
    }
    users_ = &users;
    Edit2->clear();
    Edit3->clear();
    Edit1->setText(users.fieldText(schema::col::yonghuming));
    ComboBox1->setCurrentText(users.fieldText(schema::col::quanxian) == kAdministrator ? kAdministrator : kOrdinary);
    exec();
}

void TYhxgForm::showEvent(QShowEvent *event)
{
    ui::Form::showEvent(event);
    if (!event->spontaneous())
        ui::guarded([this] { FormShow(); });
}

void TYhxgForm::hideEvent(QHideEvent *event)
{
    // Closed while a wrong password waits for its answer: no answer comes to
    // a closed dialog, and it opens again ready for input.
    if (!event->spontaneous())
        Gate.cancel();
    ui::Form::hideEvent(event);
}

void TYhxgForm::FormShow()
{
    Edit2->setFocus();
}

void TYhxgForm::SpeedButton1Click()
{
    if (!users_)
        throw AppError(QStringLiteral("没有选中的用户"));
    if (!mayChange(users_->fieldText(schema::col::yonghuming)))
        throw AppError(QStringLiteral("普通用户只能修改自己的密码"));
    if (Edit2->text() != users_->fieldText(schema::col::mima)) {
        // Answered after a wait that grows with every wrong password in a row.
        Gate.wrong({Edit2, Edit3, SpeedButton1}, [this] {
            msg::show(this, QStringLiteral("旧密码输入错误！"), msg::Icon::Error);
            Edit2->clear();
            Edit3->clear();
            Edit2->setFocus();
        });
        return;
    }
    Gate.right();
    idiom::FieldValues values{{schema::col::mima, Edit3->text()}};
    // The login disables the rights list for an ordinary user: the row then
    // keeps its rights, so no one raises himself to administrator.
    if (ComboBox1->isEnabled())
        values.append({schema::col::quanxian, ComboBox1->currentText()});
    idiom::changeRow(*users_, values);
    msg::show(this, QStringLiteral("修改用户信息成功！"), msg::Icon::None);
    close();
}

void TYhxgForm::SpeedButton2Click()
{
    close();
}
