#include "app/Links.h"

#include "admin/QxsmUnit.h"
#include "admin/SptjUnit.h"
#include "admin/SpxgUnit.h"
#include "admin/XtUnit.h"
#include "admin/YhtjUnit.h"
#include "admin/YhxgUnit.h"
#include "store/Schema.h"
#include "ticket/MainUnit.h"
#include "ui/ListChoice.h"
#include "ui/PickList.h"

namespace app {

namespace {
// The main window's pick lists name each value once.
QString distinctList(const QString &column, const QString &table)
{
    return QStringLiteral("Select Distinct %1 From %2").arg(column, table);
}
} // namespace

void reloadProductList()
{
    ui::fillPickList(MainForm->ComboBox1, MainForm->ADOQuery1, distinctList(schema::col::pinming, schema::spxx));
}

void reloadCashierList()
{
    // The cashier stays who he is: an empty box would archive the next sales
    // with no cashier, and no query by cashier would find them.
    const QString cashier = MainForm->ComboBox6->currentText();
    ui::fillPickList(MainForm->ComboBox6, MainForm->ADOQuery7,
                     distinctList(schema::col::yonghuming, schema::username));
    ui::setListText(MainForm->ComboBox6, cashier);
}

void renewPrintContent(const QString &storeName, const QString &remark)
{
    MainForm->Edit5->setText(storeName);
    MainForm->Memo1->setPlainText(remark);
}

void refreshSettingsWindow()
{
    XtForm->ReconnectAndReopen();
}

void openAddUser()
{
    YhtjForm->Open();
}

void openModifyUser()
{
    YhxgForm->Open(XtForm->ADOQuery1, XtForm);
}

void openAddProduct()
{
    // The add dialog is not modal, yet it must take input while the settings
    // window runs modally: a modal window lets its own secondary windows
    // through. It is never closed with the settings window.
    if (SptjForm->parentWidget() != XtForm)
        SptjForm->setParent(XtForm, SptjForm->windowFlags());
    SptjForm->Open();
}

void openModifyProduct()
{
    SpxgForm->Open(XtForm->ADOQuery2);
}

void openRightsExplanation()
{
    QxsmForm->exec();
}

} // namespace app
