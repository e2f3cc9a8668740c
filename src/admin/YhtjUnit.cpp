#include "admin/YhtjUnit.h"

#include "admin/XtUnit.h"
#include "store/Idioms.h"
#include "store/Schema.h"
#include "ui/ErrorDisplay.h"
#include "ui/FormKit.h"
#include "ui/MessageBox.h"
#include "ui/OneLine.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

TYhtjForm *YhtjForm = nullptr;

TYhtjForm::TYhtjForm(QWidget *parent)
    : ui::Form("YhtjForm", QStringLiteral("添加新用户"), QSize(264, 246), parent),
      ADOConnection1(connstr::designLong()),
      ADOQuery1(ADOConnection1, store::Listing::all(schema::username)),
      names_(ADOConnection1)
{
    ADOConnection1.setLoginPrompt(false);
    ADOQuery1.open();

    auto *form = new QGridLayout;
    Edit1 = ui::make<QLineEdit>(this, "Edit1");
    Label1 = ui::label(this, "Label1", QStringLiteral("用户名："), Edit1);
    // A name is one line: it is the cashier's name in every list and receipt.
    ui::keepOneLine(Edit1);
    Edit2 = ui::make<QLineEdit>(this, "Edit2");
    ui::setPasswordBox(Edit2);
    Label2 = ui::label(this, "Label2", QStringLiteral("密  码："), Edit2);
    ComboBox1 = ui::make<QComboBox>(this, "ComboBox1");
    ComboBox1->addItems({QStringLiteral("管理员"), QStringLiteral("普通用户")});
    ComboBox1->setCurrentIndex(0);
    Label3 = ui::label(this, "Label3", QStringLiteral("权  限："), ComboBox1);
    CheckBox1 = ui::make<QCheckBox>(this, "CheckBox1", QStringLiteral("继续添加用户"));
    CheckBox1->setChecked(true);
    form->addWidget(Label1, 0, 0);
    form->addWidget(Edit1, 0, 1);
    form->addWidget(Label2, 1, 0);
    form->addWidget(Edit2, 1, 1);
    form->addWidget(Label3, 2, 0);
    form->addWidget(ComboBox1, 2, 1);
    form->addWidget(CheckBox1, 3, 1, Qt::AlignLeft);
    SpeedButton1 = ui::button(this, "SpeedButton1", QStringLiteral("添加"));
    SpeedButton2 = ui::button(this, "SpeedButton2", QStringLiteral("关闭"));
    ui::layOutDialog(this, form, {SpeedButton1, SpeedButton2}, 12);

    ui::on(SpeedButton1, &QPushButton::clicked, this, [this] { SpeedButton1Click(); });
    ui::on(SpeedButton2, &QPushButton::clicked, this, [this] { SpeedButton2Click(); });
}

TYhtjForm::~TYhtjForm()
{
    if (YhtjForm == this)
        YhtjForm = nullptr;
}

void TYhtjForm::Open()
{
    Edit1->clear();
    Edit2->clear();
    Edit1->setFocus();
    exec();
}

// Why a name cannot be a new user's, or an empty text when it can. A name
// differing from another only in blanks at its ends looks the same in every
// list and could never be told apart at the login; a second user of a name
// could never log in (the login finds the first), and a second admin could
// never be deleted.
QString TYhtjForm::nameRefusal(const QString &name)
{
    if (name.trimmed().isEmpty())
        return QStringLiteral("用户名不能为空！");
    if (name.front().isSpace() || name.back().isSpace())
        return QStringLiteral("用户名的开头和结尾不能是空格！");
    idiom::exactSearch(names_, schema::username, schema::col::yonghuming, name);
    const bool taken = !names_.isEmpty();
    names_.close();
    if (taken)
        return QStringLiteral("用户名“%1”已经存在！").arg(name);
    return {};
}

void TYhtjForm::SpeedButton1Click()
{
    if (const QString refusal = nameRefusal(Edit1->text()); !refusal.isEmpty()) {
        msg::show(this, refusal, msg::Icon::None);
        return;
    }
    idiom::appendRow(ADOQuery1, {{schema::col::yonghuming, Edit1->text()},
                                 {schema::col::mima, Edit2->text()},
                                 {schema::col::quanxian, ComboBox1->currentText()}});
    Edit1->clear();
    Edit2->clear();
    msg::show(this, QStringLiteral("添加用户成功！"), msg::Icon::None);
    emit usersChanged();
    XtForm->ReconnectAndReopen();
    if (!CheckBox1->isChecked())
        close();
}

void TYhtjForm::SpeedButton2Click()
{
    close();
}
