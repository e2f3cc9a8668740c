#include "print/Checkout.h"

#include "print/Dy58Unit.h"
#include "print/Dy76Unit.h"
#include "print/ReceiptLayouts.h"
#include "store/Archive.h"
#include "store/Clock.h"
#include "ticket/MainUnit.h"
#include "ui/ListChoice.h"
#include "ui/MessageBox.h"

namespace print {

namespace {

bool running = false;

TReceiptForm *receiptWindow(receipt::Paper paper)
{
    return paper == receipt::Paper::Mm58 ? static_cast<TReceiptForm *>(Dy58Form)
                                         : static_cast<TReceiptForm *>(Dy76Form);
}

archive::Ticket ticketOf(const TMainForm &f)
{
    return {f.Edit1->text(),  f.Edit2->text(),  f.Label13->text(), f.Label14->text(),
            f.Label15->text(), f.ComboBox6->currentText(), f.Edit9->text(), f.Edit10->text()};
}

// Steps 3 to 7: the chosen receipt window sized, filled and printed.
void printTicket(TMainForm &f, TReceiptForm &w, const archive::Ticket &t)
{
    const int m = static_cast<int>(receipt::remarkLines(f.Memo1->toPlainText()).size());
    const int n = f.ADOQuery2.recordCount();
    const bool customerOption = f.CheckBox2->isChecked();
    const bool phoneOption = f.CheckBox3->isChecked();

    w.Reconnect();
    for (int k = 1; k <= 3; ++k) {
        w.setRemarkHeight(k, receipt::kRemarkLinePx * m);
        w.setPageLength(k, receipt::pageLengthPx(w.paper(), phoneOption, m, n));
    }
    namespace v = receipt::value;
    for (int k = 1; k <= 3; ++k) {
        w.setValue(k, v::cashier, t.cashier);
        w.setValue(k, v::number, t.number);
        w.setValue(k, v::time, t.time);
        if (k >= 2)
            w.setValue(k, v::customer, t.customer);
        if (k == 3)
            w.setValue(k, v::phone, t.phone);
        w.setValue(k, v::quantityTotal, t.quantity);
        w.setValue(k, v::amountTotal, t.amount);
        w.setValue(k, v::afterDiscountTotal, t.afterDiscount);
        w.setValue(k, v::received, f.ComboBox4->currentText());
        w.setValue(k, v::change, f.Edit6->text());
    }
    const int layout = receipt::layoutFor(customerOption, phoneOption);
    const int prints = receipt::printsFor(f.ComboBox3->currentText());
    if (layout == 0)
        return;
    for (int i = 0; i < prints; ++i)
        w.printLayout(layout, QStringLiteral("小票 %1").arg(t.number));
}

} // namespace

bool checkoutRunning()
{
    return running;
}

void checkout(TMainForm &f)
{
    // A print lets events through; a second checkout would archive and
    // delete the same lines again.
    if (running)
        return;
    running = true;
    struct Done {
        ~Done() { running = false; }
    } done;

    // An archive that failed on a disk refusing writes may have left the
    // working ticket unreadable until the disk took writes again; it is read
    // now, so that a retry finds the ticket that stayed in data.mdb.
    if (!f.ADOQuery2.isActive())
        f.ADOQuery2.open();

    // 1. Nothing to print.
    if (f.ADOQuery2.isEmpty()) {
        msg::show(&f, QStringLiteral("打印信息为空！"), msg::Icon::Warning);
        return;
    }
    // The ticket as shown now is what prints and what is archived.
    const archive::Ticket ticket = ticketOf(f);

    // 2 to 7. Print on the receipt window of the paper width; with any other
    // paper text nothing prints, and the ticket is archived all the same.
    if (const auto paper = receipt::paperFor(f.ComboBox5->currentText()))
        printTicket(f, *receiptWindow(*paper), ticket);

    // 8 to 10. Archive and empty the working ticket, all or nothing.
    archive::archiveTicket(f.ADOConnection1, f.ADOQuery2, f.ADOQuery4, f.ADOQuery5, ticket);

    // 11. The next ticket.
    f.Label13->setText(QStringLiteral("0"));
    f.Label14->setText(QStringLiteral("0"));
    f.Label15->setText(QStringLiteral("0"));
    ui::setListText(f.ComboBox4, QString());
    f.Edit6->clear();
    f.Edit9->clear();
    f.Edit1->setText(appclock::ticketNumber(appclock::now()));
}

void preview(TMainForm &f)
{
    const int page = receipt::layoutFor(f.CheckBox2->isChecked(), f.CheckBox3->isChecked());
    if (page > 0) {
        Dy58Form->showPage(page);
        Dy76Form->showPage(page);
    }
    if (const auto paper = receipt::paperFor(f.ComboBox5->currentText()))
        receiptWindow(*paper)->exec();
}

} // namespace print
