#include "print/ReceiptForm.h"

#include "print/Printer.h"
#include "print/ReceiptView.h"
#include "report/Faces.h"
#include "base/AppError.h"
#include "ui/ErrorDisplay.h"
#include "store/Idioms.h"
#include "store/Schema.h"

TReceiptForm::TReceiptForm(const char *objectName, receipt::Paper paper, QPoint layoutAt, QWidget *parent)
    : ui::Form(objectName, QStringLiteral("打印预览"), QSize(342, 442), parent),
      ADOConnection1(connstr::designLong()),
      ADODataSet1(ADOConnection1, store::Listing::all(schema::xsxx)),
      ADODataSet2(ADOConnection1, store::Listing::all(schema::dynr)),
      QuickRep1(receipt::design(paper, 1)),
      QuickRep2(receipt::design(paper, 2)),
      QuickRep3(receipt::design(paper, 3)),
      paper_(paper)
{
    QuickRep1.summary.beforePrint = [this](report::Band &b) { QRBand3BeforePrint(b); };
    QuickRep2.summary.beforePrint = [this](report::Band &b) { QRBand5BeforePrint(b); };
    QuickRep3.summary.beforePrint = [this](report::Band &b) { QRBand8BeforePrint(b); };

    // The pages' tabs would lie under the strip at the top; the page shown is
    // chosen by 预览 only, so the pages are stacked without tabs.
    PageControl1 = new QStackedWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setGeometry(0, 50, 345, 394);
    QWidget **sheets[] = {&TabSheet1, &TabSheet2, &TabSheet3};
    ReceiptView **views[] = {&Image1, &Image2, &Image3};
    report::Layout *layouts[] = {&QuickRep1, &QuickRep2, &QuickRep3};
    for (int i = 0; i < 3; ++i) {
        QWidget *sheet = new QWidget(PageControl1);
        sheet->setObjectName(QStringLiteral("TabSheet%1").arg(i + 1));
        auto *view = new ReceiptView(*layouts[i], layoutAt, sheet);
        view->setObjectName(QStringLiteral("Image%1").arg(i + 1));
        view->setGeometry(0, 0, 345, 394);
        PageControl1->addWidget(sheet);
        *sheets[i] = sheet;
        *views[i] = view;
    }
    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Raised);
    Panel1->setGeometry(0, 0, 342, 50);

    DBMemo1 = new QPlainTextEdit(this);
    DBMemo1->setObjectName(QStringLiteral("DBMemo1"));
    DBMemo1->setGeometry(0, 0, 225, 97);
    DBMemo1->setFont(report::faces::remarkBox());
    DBMemo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    DBMemo1->hide();

    // FormCreate: a failure is shown and the start goes on; the checkout
    // reconnects before every print anyway.
    ui::guarded([this] { Reconnect(); });
}

void TReceiptForm::Reconnect()
{
    ADOConnection1.close();
    ADODataSet1.close();
    ADODataSet2.close();
    ADOConnection1.setConnectionString(connstr::runtime());
    ADOConnection1.open();
    ADODataSet1.open();
    ADODataSet2.open();
    DBMemo1->setPlainText(ADODataSet2.fieldText(schema::col::beizhu));
}

void TReceiptForm::ReconnectForSale(const QString &number)
{
    Reconnect();
    idiom::exactSearch(ADODataSet1, schema::xsmx, schema::col::danhao, number);
}

report::Layout &TReceiptForm::layout(int k)
{
    switch (k) {
    case 1: return QuickRep1;
    case 2: return QuickRep2;
    case 3: return QuickRep3;
    }
    throw AppError(QStringLiteral("没有第%1种小票格式").arg(k));
}

void TReceiptForm::setRemarkHeight(int k, int px)
{
    layout(k).summary.block->heightPx = px;
    PageControl1->widget(k - 1)->update();
}

void TReceiptForm::setPageLength(int k, int px)
{
    layout(k).pageLengthPx = px;
    PageControl1->widget(k - 1)->update();
}

void TReceiptForm::setValue(int k, const QString &name, const QString &text)
{
    report::Layout &l = layout(k);
    if (!l.findValue(name))
        throw AppError(QStringLiteral("第%1种小票格式没有“%2”这一项").arg(k).arg(name));
    l.setValue(name, text);
    PageControl1->widget(k - 1)->update();
}

void TReceiptForm::printLayout(int k, const QString &title)
{
    const report::Data snapshot = data();
    print::printer().print(layout(k), snapshot, title);
    PageControl1->widget(k - 1)->update();
}

void TReceiptForm::showPage(int k)
{
    PageControl1->setCurrentIndex(k - 1);
}

int TReceiptForm::currentPage() const
{
    return PageControl1->currentIndex() + 1;
}

namespace {
report::Table tableOf(Query &query)
{
    report::Table table(query.fieldNames());
    const int columns = static_cast<int>(table.columns().size());
    query.forEachRow([&](int row) {
        QStringList values;
        for (int c = 0; c < columns; ++c)
            values << query.textAt(row, c);
        table.addRow(values);
    });
    return table;
}
} // namespace

report::Data TReceiptForm::data()
{
    return {{receipt::kLines, tableOf(ADODataSet1)}, {receipt::kContent, tableOf(ADODataSet2)}};
}

QStringList TReceiptForm::remarkLines() const
{
    return receipt::remarkLines(DBMemo1->toPlainText());
}

void TReceiptForm::copyRemark(report::Band &band) const
{
    if (band.block)
        band.block->lines = remarkLines();
}

void TReceiptForm::QRBand3BeforePrint(report::Band &band)
{
    copyRemark(band);
}

void TReceiptForm::QRBand5BeforePrint(report::Band &band)
{
    copyRemark(band);
}

void TReceiptForm::QRBand8BeforePrint(report::Band &band)
{
    copyRemark(band);
}
