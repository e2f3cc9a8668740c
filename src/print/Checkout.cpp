#include "print/Checkout.h"

#include "base/Log.h"
#include "print/Dy58Unit.h"
#include "print/Dy76Unit.h"
#include "print/DayEndReport.h"
#include "print/Printer.h"
#include "print/ReceiptLayouts.h"
#include "base/AppError.h"
#include "store/Archive.h"
#include "store/Clock.h"
#include "store/Connection.h"
#include "store/Query.h"
#include "store/Session.h"
#include "ui/ErrorDisplay.h"
#include "ui/MessageBox.h"

#include <QDir>
#include <QScopedValueRollback>

namespace print {

namespace {

bool running = false;

TReceiptForm *receiptWindow(receipt::Paper paper)
{
    return paper == receipt::Paper::Mm58 ? static_cast<TReceiptForm *>(Dy58Form)
                                         : static_cast<TReceiptForm *>(Dy76Form);
}

QString keptForRetry(const QString &what)
{
    return what + QStringLiteral("。小票没有打印，单据已保留，改好后按F5重新打印。");
}

// How a sale prints: the paper's window, the layout the options select and
// how many copies; every setting that could not print is refused before
// anything is archived.
struct PrintPlan {
    TReceiptForm *window = nullptr;
    int layout = 0;
    int copies = 0;
    bool phoneOption = false;
    int remarkLines = 0;
};

QString notReprinted(const QString &what)
{
    return what + QStringLiteral("。小票没有重打。");
}

std::optional<receipt::Paper> paperOf(const Till &till, QString (*told)(const QString &))
{
    const auto paper = receipt::paperFor(till.paper);
    if (!paper)
        throw AppError(told(QStringLiteral("“POS选择”只能是58或76，现在是“%1”").arg(till.paper)));
    return paper;
}

// The paper's window and the layout the options select; `told` says what
// becomes of the ticket when a setting cannot print.
PrintPlan layoutPlanOf(const Till &till, QString (*told)(const QString &))
{
    PrintPlan plan;
    const auto paper = paperOf(till, told);
    plan.phoneOption = till.phoneOption;
    plan.layout = receipt::layoutFor(till.customerOption, plan.phoneOption);
    if (plan.layout == 0)
        throw AppError(told(QStringLiteral("打印电话必须同时打印客户")));
    plan.window = receiptWindow(*paper);
    plan.remarkLines = static_cast<int>(receipt::remarkLines(till.remark).size());
    return plan;
}

PrintPlan planOf(const Till &till)
{
    const QString &copiesText = till.copies;
    paperOf(till, keptForRetry);
    const int copies = receipt::printsFor(copiesText);
    if (copies == 0)
        throw AppError(keptForRetry(QStringLiteral("“打印份数”只能是1或2，现在是“%1”").arg(copiesText)));
    PrintPlan plan = layoutPlanOf(till, keptForRetry);
    plan.copies = copies;
    return plan;
}

// A refusal of the printing path told for what did not print: the
// printers end theirs with the checkout's advice, which a reprint or a
// day-end must not give (F5 would sell the working ticket).
QString refusalFor(const QString &message, const QString &advice)
{
    static const QString checkoutAdvice = print::refusal(QString()).mid(1);
    QString text = message;
    if (text.endsWith(checkoutAdvice))
        text = text.left(text.size() - checkoutAdvice.size()) + advice;
    return text;
}

// The chosen receipt window sized and filled from the archived sale.
void fillSale(const PrintPlan &plan, const archive::Sale &sale)
{
    TReceiptForm &w = *plan.window;
    w.ReconnectForSale(sale.number);
    for (int k = 1; k <= 3; ++k) {
        w.setRemarkHeight(k, receipt::kRemarkLinePx * plan.remarkLines);
        w.setPageLength(k, receipt::pageLengthPx(w.paper(), plan.phoneOption, plan.remarkLines, sale.lines));
    }
    namespace v = receipt::value;
    for (int k = 1; k <= 3; ++k) {
        w.setValue(k, v::cashier, sale.cashier);
        w.setValue(k, v::number, sale.number);
        w.setValue(k, v::time, sale.time);
        if (k >= 2)
            w.setValue(k, v::customer, sale.customer);
        if (k == 3)
            w.setValue(k, v::phone, sale.phone);
        w.setValue(k, v::quantityTotal, sale.quantity);
        w.setValue(k, v::amountTotal, sale.amount);
        w.setValue(k, v::afterDiscountTotal, sale.afterDiscount);
        w.setValue(k, v::received, sale.received);
        w.setValue(k, v::change, sale.change);
    }
}

// The sale's receipt printed, copy after copy; each copy returns when its
// job completed. Returns how many copies printed before an error, which it
// throws on.
void printSale(const PrintPlan &plan, const archive::Sale &sale, int &printed)
{
    fillSale(plan, sale);
    TReceiptForm &w = *plan.window;
    for (printed = 0; printed < plan.copies; ++printed)
        w.printLayout(plan.layout, QStringLiteral("小票 %1").arg(sale.number));
}

// While a receipt prints the window goes on answering, and says so.
class PrintingShown {
public:
    explicit PrintingShown(const Till &till) : till_(till)
    {
        if (till_.showPrinting)
            till_.showPrinting(true);
    }
    ~PrintingShown()
    {
        if (till_.showPrinting)
            till_.showPrinting(false);
    }

private:
    const Till &till_;
};

// Marks whose removal failed (the disk refused it) are tried again at the
// next checkout: the sale printed, and the next start must not ask.
QStringList &unclearedMarks()
{
    static QStringList numbers;
    return numbers;
}

void clearMark(const Till &till, const QString &number)
{
    try {
        archive::markPrinted(*till.connection, number);
        unclearedMarks().removeAll(number);
    } catch (const AppError &e) {
        if (!unclearedMarks().contains(number))
            unclearedMarks() << number;
        qCWarning(lcPrint, "the mark of the printed ticket %s stays: %s", qPrintable(number), qPrintable(e.message()));
    }
}

} // namespace

bool checkoutRunning()
{
    return running;
}

void checkout(const Till &till)
{
    // A print lets events through; a second checkout would archive and
    // delete the same lines again.
    if (running)
        return;
    // F5 reaches the program while the login window is open: nothing is
    // sold before somebody logged in.
    if (!session::loggedIn())
        return;
    QScopedValueRollback<bool> guard(running, true);
    Connection &connection = *till.connection;
    Query &lines = *till.lines;

    for (const QString &number : QStringList(unclearedMarks()))
        clearMark(till, number);

    // An archive that failed on a disk refusing writes may have left the
    // working ticket unreadable until the disk took writes again; it is read
    // now, so that a retry finds the ticket that stayed in data.mdb.
    if (!lines.isActive())
        lines.open();

    // 1. Nothing to print.
    if (lines.isEmpty()) {
        msg::show(till.owner, QStringLiteral("打印信息为空！"), msg::Icon::Warning);
        return;
    }
    // Every setting is checked before the sale is archived.
    const PrintPlan plan = planOf(till);
    if (till.head.cashier.trimmed().isEmpty())
        throw AppError(keptForRetry(QStringLiteral("没有收银员：请在“收银员”中选择收银员")));

    // A file moved or replaced under the program is no longer the one the
    // ticket was written to; a connection the engine opened read-only, while
    // the file refused writes, is opened again once the file takes them.
    if (connection.fileReplaced())
        throw AppError(QStringLiteral("数据库文件“%1”在程序运行时被移走或替换了，小票没有打印。请退出程序，"
                                      "确认数据库文件无误后重新启动。")
                           .arg(QDir::toNativeSeparators(connection.filePath())));
    if (connection.openedReadOnly() && connection.fileWritableNow() && till.reconnect)
        till.reconnect();

    // The archive first, marked as printing: a receipt never leaves the
    // printer for a sale that is not archived.
    archive::Numbering numbering;
    numbering.now = appclock::now();
    // Only an administrator numbers a ticket himself; anyone else gets the
    // program's number, whatever the box was made to hold.
    if (session::administrator())
        numbering.typed = till.typedNumber;
    const archive::Sale sale =
        archive::archiveForPrinting(connection, lines, *till.tickets, *till.archivedLines, till.head, numbering);
    // Shown as it is archived and printed.
    if (till.showArchived)
        till.showArchived(sale);

    int printed = 0;
    try {
        PrintingShown shown(till);
        printSale(plan, sale, printed);
    } catch (const AppError &e) {
        if (printed > 0) {
            // A copy is out: the customer holds the proof of an archived sale.
            clearMark(till, sale.number);
            if (till.startNextTicket)
                till.startNextTicket(sale.number);
            throw AppError(QStringLiteral("第%1份小票没有打印出来：%2\n这笔销售已经记账，第1份小票已经打印。")
                               .arg(printed + 1)
                               .arg(e.message()));
        }
        // Nothing printed: the sale is undone and the ticket is back as it was.
        try {
            archive::undoArchive(connection, lines, *till.tickets, *till.archivedLines, sale.number);
        } catch (const AppError &undo) {
            // The mark stays, and the next start asks what became of the sale.
            throw AppError(e.message() + QStringLiteral("\n撤销记账也失败了：%1。下次启动时程序会询问如何处理单号为“%2”的小票。")
                                             .arg(undo.message(), sale.number));
        }
        throw;
    }
    clearMark(till, sale.number);
    if (till.startNextTicket)
        till.startNextTicket(sale.number);
}

void resolveMarkedSales(const Till &till)
{
    if (running)
        return;
    QScopedValueRollback<bool> guard(running, true);
    const QList<archive::Sale> sales = archive::markedSales(*till.connection);
    for (const archive::Sale &sale : sales) {
        const QString text =
            QStringLiteral("上次程序在打印单号为“%1”的小票时中断了(时间%2，收银员%3，应收%4)。"
                           "这笔销售已经记账，但不能确定小票是否打印出来了。\n\n"
                           "重打：再打印一次这张小票；\n作废：撤销这笔销售，商品回到当前单据；\n"
                           "以后再说：下次启动时再问。")
                .arg(sale.number, sale.time, sale.cashier, sale.afterDiscount);
        for (;;) {
            const msg::Answer a = msg::show(till.owner, text, msg::Icon::Warning, msg::Buttons::YesNoCancel, msg::defaultTitle(),
                                            {QStringLiteral("重打"), QStringLiteral("作废"), QStringLiteral("以后再说")});
            if (a == msg::Answer::Yes) {
                try {
                    const PrintPlan plan = planOf(till);
                    int printed = 0;
                    PrintingShown shown(till);
                    printSale(plan, sale, printed);
                } catch (const AppError &e) {
                    ui::showError(e.message());
                    continue;
                }
                clearMark(till, sale.number);
            } else if (a == msg::Answer::No) {
                archive::undoArchive(*till.connection, *till.lines, *till.tickets, *till.archivedLines, sale.number);
                // The ticket as the cashier had it, to be sold again.
                if (till.showRestored)
                    till.showRestored(sale);
            }
            break;
        }
    }
}

void reprint(const Till &till, const QString &number)
{
    // A checkout lets events through while it prints, and so does this:
    // both fill the same receipt window.
    if (running)
        return;
    QScopedValueRollback<bool> guard(running, true);
    PrintPlan plan = layoutPlanOf(till, notReprinted);
    plan.copies = 1;
    archive::Sale sale = archive::archivedSale(*till.connection, number);
    // Not archived: the receipt does not pretend to know them.
    sale.received = receipt::kNotArchived;
    sale.change = receipt::kNotArchived;
    fillSale(plan, sale);
    report::Layout marked = plan.window->layout(plan.layout);
    receipt::markReprint(marked);
    try {
        printer().print(marked, plan.window->data(), QStringLiteral("重打小票 %1").arg(sale.number));
    } catch (const AppError &e) {
        throw AppError(refusalFor(e.message(), QStringLiteral("小票没有重打，处理好打印机后再按“重打”。")));
    }
}

void printDayEnd(const Till &till, const dayend::Day &day)
{
    if (running)
        return;
    QScopedValueRollback<bool> guard(running, true);
    const auto paper = paperOf(till, [](const QString &what) {
        return what + QStringLiteral("。日结没有打印。");
    });
    report::Layout layout = dayendprint::design(*paper);
    const report::Data data = dayendprint::fill(layout, day, appclock::now());
    try {
        printer().print(layout, data, QStringLiteral("日结 %1").arg(day.date.toString(Qt::ISODate)));
    } catch (const AppError &e) {
        throw AppError(refusalFor(e.message(), QStringLiteral("日结没有打印，处理好打印机后再按“打印”。")));
    }
}

void preview(const Till &till)
{
    const int page = receipt::layoutFor(till.customerOption, till.phoneOption);
    if (page > 0) {
        Dy58Form->showPage(page);
        Dy76Form->showPage(page);
    }
    if (const auto paper = receipt::paperFor(till.paper))
        receiptWindow(*paper)->exec();
}

} // namespace print
