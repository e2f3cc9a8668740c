// Ticket entry on the main window: adding, selecting, modifying and deleting
// lines, the line amounts, the totals, payment and change.
#include "base/AppError.h"
#include "store/Idioms.h"
#include "store/NumberText.h"
#include "store/Price.h"
#include "store/Schema.h"
#include "store/Amounts.h"
#include "ticket/MainUnit.h"
#include "ui/ListChoice.h"
#include "ui/ListGrid.h"
#include "ui/MessageBox.h"
#include "ui/PickList.h"

namespace {
// What a total label shows when a stored line cannot be counted.
const QString kNoTotal = QStringLiteral("无法合计");

void warn(QWidget *owner, const QString &text)
{
    msg::show(owner, text, msg::Icon::Warning);
}

// A pasted text that is not a number is refused before anything is written.
void requireNumbers(std::initializer_list<QString> texts)
{
    for (const QString &t : texts) {
        if (!t.isEmpty())
            numtext::parse(t);
    }
}
} // namespace

// One message per empty box, in order; true when all three are filled.
static bool lineFieldsFilled(TMainForm *f)
{
    bool filled = true;
    if (f->Edit3->text().isEmpty()) {
        warn(f, QStringLiteral("单价不能为空！"));
        filled = false;
    }
    if (f->Edit4->text().isEmpty()) {
        warn(f, QStringLiteral("数量不能为空！"));
        filled = false;
    }
    if (f->ComboBox2->currentText().isEmpty()) {
        warn(f, QStringLiteral("折扣不能为空！"));
        filled = false;
    }
    return filled;
}

// The line as the boxes show it, in the order its columns are written.
idiom::FieldValues TMainForm::lineValues() const
{
    return {{QStringLiteral("单号"), Edit1->text()},    {QStringLiteral("时间"), Edit2->text()},
            {QStringLiteral("品名"), ComboBox1->currentText()}, {QStringLiteral("单价"), Edit3->text()},
            {QStringLiteral("数量"), Edit4->text()},    {QStringLiteral("金额"), Edit11->text()},
            {QStringLiteral("折后"), Edit12->text()}};
}

// Everything the line writes is checked before anything is written (the
// catalogue learning posts to spxx before the line is appended): each text
// against its column, each number and each total it changes against what
// the sums hold. replacedRow is the row 修改 rewrites, -1 for 添加.
void TMainForm::requireLineFits(int replacedRow)
{
    namespace col = schema::col;
    schema::requireFits(schema::xsxx, col::danhao, Edit1->text());
    schema::requireFits(schema::xsxx, col::shijian, Edit2->text());
    schema::requireFits(schema::xsxx, col::pinming, ComboBox1->currentText());
    schema::requireFits(schema::spxx, col::pinming, ComboBox1->currentText());
    price::requireValid(Edit3->text());
    amounts::requireSummable(col::shuliang, Edit4->text());
    amounts::requireSummable(col::jine, Edit11->text());
    amounts::requireSummable(col::zhehou, Edit12->text());
    // In the order of the sum list's columns.
    const std::pair<QString, QString> summed[] = {
        {col::shuliang, Edit4->text()}, {col::jine, Edit11->text()}, {col::zhehou, Edit12->text()}};
    for (int i = 0; i < int(std::size(summed)); ++i) {
        const auto without = DBSumList1.sumWithout(i, replacedRow);
        // A total already unknown (a line stored by other means) is the
        // totals refresh's to report; this line does not make it worse.
        if (without && !SumList::add(without, SumList::fixedOf(summed[i].second)))
            throw AppError(amounts::totalTooLarge(summed[i].first));
    }
}

void TMainForm::SpeedButton2Click()
{
    if (ComboBox1->currentText().isEmpty()) {
        warn(this, QStringLiteral("品名不能为空！"));
        return;
    }
    reconnectQueries();
    if (lineFieldsFilled(this)) {
        // The discount is not stored, but a 折后 beside a discount that is not
        // a number was never computed from it.
        requireNumbers({Edit3->text(), Edit4->text(), ComboBox2->currentText(), Edit11->text(),
                        Edit12->text()});
        requireLineFits(-1);
        // The product learnt and the line written stand or fall together, and
        // the disk is synced once for both.
        idiom::allOrNothing(ADOConnection1, {&ADOQuery1, &ADOQuery2}, [this] {
            learnProduct();
            idiom::appendRow(ADOQuery2, lineValues());
        });
        resetLineInput(true);
        ui::fillPickList(ComboBox1, ADOQuery1, schema::spxx, schema::col::pinming);
        SpeedButton3->setEnabled(false);
        SpeedButton4->setEnabled(false);
    }
    RefreshTotals();
    emit lineWritten();
}

void TMainForm::reconnectQueries()
{
    using store::Listing;
    idiom::reconnectAndReopen(ADOConnection1, {{&ADOQuery1, Listing::all(schema::spxx)},
                                               {&ADOQuery2, Listing::all(schema::xsxx)},
                                               {&ADOQuery3, Listing::all(schema::dynr)},
                                               {&ADOQuery4, Listing::all(schema::xstj)},
                                               {&ADOQuery5, Listing::all(schema::xsmx)},
                                               {&ADOQuery6, Listing::all(schema::id)},
                                               {&ADOQuery7, Listing::all(schema::username)}});
}

// The catalogue learns the product: the exact name found first gets the new
// price; anything else (nothing found, a longer name first) appends a row.
// (Found without reading every product containing the name: 添加 costs the
// same with a catalogue of 100,000 products.)
void TMainForm::learnProduct()
{
    const QString name = ComboBox1->currentText();
    idiom::holdText(ADOConnection1, QStringLiteral("spxx"), QStringLiteral("品名"), name);
    const bool exactFirst = idiom::firstContainingIsEqual(ADOQuery1, QStringLiteral("spxx"), QStringLiteral("品名"), name);
    Edit7->setText(exactFirst ? name : QString());
    const QString fields[] = {QStringLiteral("品名"), QStringLiteral("单价")};
    if (!exactFirst)
        idiom::appendRow(ADOQuery1, {{fields[0], name}, {fields[1], Edit3->text()}});
    else
        idiom::changeRow(ADOQuery1, {{fields[0], name}, {fields[1], Edit3->text()}});
}

void TMainForm::resetLineInput(bool amountsToo)
{
    // The lists' positions follow, so the arrow keys go on from "10".
    ui::setListText(ComboBox1, QString());
    Edit3->clear();
    Edit4->setText(QStringLiteral("1"));
    ui::setListText(ComboBox2, QStringLiteral("10"));
    if (amountsToo) {
        Edit11->clear();
        Edit12->clear();
    }
}

void TMainForm::SpeedButton3Click()
{
    // An empty name would match every product and store a nameless one.
    if (ComboBox1->currentText().isEmpty()) {
        warn(this, QStringLiteral("品名不能为空！"));
        return;
    }
    if (!lineFieldsFilled(this))
        return;
    requireNumbers({Edit3->text(), Edit4->text(), ComboBox2->currentText(), Edit11->text(),
                    Edit12->text()});
    requireLineFits(ADOQuery2.currentIndex());
    idiom::allOrNothing(ADOConnection1, {&ADOQuery1, &ADOQuery2}, [this] {
        learnProduct();
        idiom::changeRow(ADOQuery2, lineValues());
    });
    resetLineInput(true);
    RefreshTotals();
    emit lineWritten();
    SpeedButton2->setEnabled(true);
    SpeedButton3->setEnabled(false);
    SpeedButton4->setEnabled(false);
}

void TMainForm::SpeedButton4Click()
{
    if (ADOQuery2.isEmpty())
        return;
    ADOQuery2.remove();
    resetLineInput(false);
    RefreshTotals();
    SpeedButton2->setEnabled(true);
    SpeedButton3->setEnabled(false);
    SpeedButton4->setEnabled(false);
}

void TMainForm::DBGridEh1CellClick()
{
    if (ADOQuery2.isEmpty()) {
        SpeedButton2->setEnabled(true);
        SpeedButton3->setEnabled(false);
        SpeedButton4->setEnabled(false);
        return;
    }
    SpeedButton2->setEnabled(false);
    SpeedButton3->setEnabled(true);
    SpeedButton4->setEnabled(true);
    ui::setListText(ComboBox1, ADOQuery2.fieldText(QStringLiteral("品名")));
    Edit3->setText(ADOQuery2.fieldText(QStringLiteral("单价")));
    Edit3->setText(amounts::normalisedPrice(Edit3->text()));
    Edit11->setText(ADOQuery2.fieldText(QStringLiteral("金额")));
    Edit12->setText(ADOQuery2.fieldText(QStringLiteral("折后")));
    // The quantity belongs to the amounts shown: 修改 must not store the
    // amounts of one quantity beside another.
    Edit4->setText(ADOQuery2.fieldText(QStringLiteral("数量")));
}

void TMainForm::ComboBox1Click()
{
    const QString name = ComboBox1->currentText();
    if (!ADOQuery1.isEmpty() && !name.isEmpty()) {
        idiom::containsSearch(ADOQuery1, QStringLiteral("spxx"), QStringLiteral("品名"), name);
        Edit3->setText(ADOQuery1.fieldText(QStringLiteral("单价")));
        Edit3->setText(amounts::normalisedPrice(Edit3->text()));
        // A product without a catalogue price leaves the price to the cashier.
        if (!Edit3->text().isEmpty())
            computeAmounts(false);
    }
    ui::setListText(ComboBox4, QString());
}

void TMainForm::AmountKeyUp()
{
    computeAmounts(true);
}

void TMainForm::computeAmounts(bool checkEmpty)
{
    if (checkEmpty
        && (Edit3->text().isEmpty() || Edit4->text().isEmpty() || ComboBox2->currentText().isEmpty()))
        return;
    Edit11->setText(amounts::lineAmount(Edit3->text(), Edit4->text()));
    Edit12->setText(amounts::afterDiscount(Edit3->text(), Edit4->text(), ComboBox2->currentText()));
}

void TMainForm::RefreshTotals()
{
    QLabel *const labels[] = {Label13, Label14, Label15};
    bool known = true;
    for (int i = 0; i < 3; ++i) {
        const auto sum = DBSumList1.total(i);
        labels[i]->setText(sum ? numtext::displayRound(*sum) : kNoTotal);
        known = known && sum;
    }
    fitTotals();
    ui::setListText(ComboBox4, DBSumList1.total(1) ? Label14->text() : QString());
    // The change follows the preset received amount, so a discounted ticket
    // never shows a change of 0 beside a larger amount received.
    ComboBox4Change();
    if (!known)
        warn(this, QStringLiteral("合计无法计算：有一行的数量、金额或折后不是可以合计的数（须为绝对值小于%1的数），"
                                  "请选中该行修改或删除。")
                       .arg(numtext::general(numtext::kSumLimit)));
}

void TMainForm::ComboBox4Change()
{
    // Without a total there is nothing to give change against.
    if (!numtext::tryParse(Label15->text())) {
        Edit6->clear();
        return;
    }
    Edit6->setText(amounts::change(ComboBox4->currentText(), Label15->text()));
}

void TMainForm::SpeedButton9Click()
{
    if (Edit12->text().isEmpty())
        return;
    Edit12->setText(amounts::cutFraction(Edit12->text()));
}
