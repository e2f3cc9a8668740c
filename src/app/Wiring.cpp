#include "app/Wiring.h"

#include "admin/SptjUnit.h"
#include "admin/SpxgUnit.h"
#include "admin/XtUnit.h"
#include "admin/YhtjUnit.h"
#include "app/Backups.h"
#include "history/RjUnit.h"
#include "history/XstjUnit.h"
#include "print/DyjszUnit.h"
#include "store/Idioms.h"
#include "store/Schema.h"
#include "ticket/MainUnit.h"
#include "ui/ErrorDisplay.h"
#include "ui/ListChoice.h"
#include "ui/PickList.h"

namespace app {

print::Till tillOf(TMainForm &f)
{
    print::Till t;
    t.owner = &f;
    t.connection = &f.ADOConnection1;
    t.lines = &f.ADOQuery2;
    t.tickets = &f.ADOQuery4;
    t.archivedLines = &f.ADOQuery5;
    t.head = {f.Edit2->text(),  f.ComboBox6->currentText(), f.Edit9->text(),
              f.Edit10->text(), f.ComboBox4->currentText(), f.Edit6->text()};
    t.typedNumber = f.typedNumber();
    t.paper = f.ComboBox5->currentText();
    t.copies = f.ComboBox3->currentText();
    t.customerOption = f.CheckBox2->isChecked();
    t.phoneOption = f.CheckBox3->isChecked();
    t.remark = f.Memo1->toPlainText();
    t.showArchived = [&f](const archive::Sale &sale) { f.showArchivedSale(sale); };
    t.showPrinting = [&f](bool printing) { f.showPrinting(printing); };
    t.startNextTicket = [&f](const QString &last) { f.startNextTicket(last); };
    t.showRestored = [&f](const archive::Sale &sale) { f.showRestoredSale(sale); };
    t.reconnect = [&f] { f.reconnectQueries(); };
    return t;
}

namespace {

// The main window's product list (from the catalogue), filled anew; the box
// is left with empty text.
void reloadProductList()
{
    ui::fillPickList(MainForm->ComboBox1, MainForm->ADOQuery1, schema::spxx, schema::col::pinming);
}

// The main window's cashier list (from the users), filled anew. The cashier
// stays who he is: an empty box would archive the next sales with no
// cashier, and no query by cashier would find them.
void reloadCashierList()
{
    const QString cashier = MainForm->ComboBox6->currentText();
    ui::fillPickList(MainForm->ComboBox6, MainForm->ADOQuery7, schema::username, schema::col::yonghuming);
    ui::setListText(MainForm->ComboBox6, cashier);
}

// 添加 and 修改 may teach the catalogue: the settings window reads its lists
// again, as it would after reopening.
void reconnectSettingsWindow()
{
    idiom::reconnectAndReopen(XtForm->ADOConnection1,
                              {{&XtForm->ADOQuery1, store::Listing::all(schema::username)},
                               {&XtForm->ADOQuery2, store::Listing::all(schema::spxx)},
                               {&XtForm->ADOQuery3, store::Listing::all(schema::dynr)}});
}

void openSettings()
{
    XtForm->PageControl1->setCurrentWidget(XtForm->TabSheet1);
    XtForm->exec();
}

void openStatistics()
{
    // Sales checked out since the window last opened are listed, oldest first.
    idiom::reconnectAndReopen(XstjForm->ADOConnection1, {{&XstjForm->ADOQuery1, TXstjForm::listByTime()}});
    XstjForm->exec();
}

} // namespace

void wireForms()
{
    TMainForm *f = MainForm;
    ui::on(f, &TMainForm::checkoutRequested, f, [f] {
        print::Till till = tillOf(*f);
        // Every so many sales a backup begins.
        till.startNextTicket = [f](const QString &last) {
            f->startNextTicket(last);
            saleArchived();
        };
        print::checkout(till);
    });
    ui::on(f, &TMainForm::previewRequested, f, [f] { print::preview(tillOf(*f)); });
    ui::on(f, &TMainForm::settingsRequested, f, [] { openSettings(); });
    ui::on(f, &TMainForm::printerSettingsRequested, f, [] { DyjszForm->Open(); });
    ui::on(f, &TMainForm::statisticsRequested, f, [] { openStatistics(); });
    ui::on(f, &TMainForm::lineWritten, f, [] { reconnectSettingsWindow(); });

    // The administration windows change what the main window offers. Direct
    // connections: the lists are read again before the dialog goes on.
    ui::on(XtForm, &TXtForm::productsChanged, f, [] { reloadProductList(); });
    ui::on(XtForm, &TXtForm::usersChanged, f, [] { reloadCashierList(); });
    ui::on(XtForm, &TXtForm::printContentChanged, f, [f](const QString &storeName, const QString &remark) {
        f->Edit5->setText(storeName);
        f->Memo1->setPlainText(remark);
    });
    ui::on(XtForm, &TXtForm::restoreRequested, XtForm, [](const QString &file) {
        restoreBackup(file, XtForm->ADOConnection1.filePath());
    });
    ui::on(SptjForm, &TSptjForm::productsChanged, f, [] { reloadProductList(); });
    ui::on(SpxgForm, &TSpxgForm::productsChanged, f, [] { reloadProductList(); });
    ui::on(YhtjForm, &TYhtjForm::usersChanged, f, [] { reloadCashierList(); });
    // A ticket printed again from the history, as the till is set now; its
    // messages belong to the window it was asked from.
    ui::on(XstjForm, &TXstjForm::reprintRequested, XstjForm, [f](const QString &number) {
        print::Till till = tillOf(*f);
        till.owner = XstjForm;
        print::reprint(till, number);
    });
    // 日结 printed on the receipt printer the till is set to.
    ui::on(RjForm, &TRjForm::printRequested, RjForm, [f](const dayend::Day &day) {
        print::Till till = tillOf(*f);
        till.owner = RjForm;
        print::printDayEnd(till, day);
    });
}

} // namespace app
