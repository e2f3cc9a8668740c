#pragma once
// What both receipt windows share: their connection and the two data sets
// the receipt reads, the hidden remark box, the three layouts, and the
// window that shows one of them (打印预览).
#include "print/ReceiptLayouts.h"
#include "store/Connection.h"
#include "store/Query.h"
#include "ui/Form.h"

#include <QFrame>
#include <QPlainTextEdit>
#include <QStackedWidget>

class ReceiptView;

class TReceiptForm : public ui::Form {
    Q_OBJECT
public:
    TReceiptForm(const char *objectName, receipt::Paper paper, QPoint layoutAt, QWidget *parent = nullptr);

    Connection ADOConnection1;
    Query ADODataSet1; // the ticket lines, "select * from xsxx"
    Query ADODataSet2; // the print content, "select * from dynr"

    QFrame *Panel1;               // raised strip over the page tabs
    QStackedWidget *PageControl1; // pages 1 to 3, one layout each
    QWidget *TabSheet1;
    QWidget *TabSheet2;
    QWidget *TabSheet3;
    ReceiptView *Image1; // page 1: layout 1 over the background
    ReceiptView *Image2; // page 2: layout 2
    ReceiptView *Image3; // page 3: layout 3
    QPlainTextEdit *DBMemo1; // hidden remark box: 备注 of the print content

    report::Layout QuickRep1; // no customer lines
    report::Layout QuickRep2; // customer line
    report::Layout QuickRep3; // customer and phone lines

    receipt::Paper paper() const { return paper_; }

    // Closes the connection, points it at data.mdb in the current directory
    // and opens both data sets again; the remark box follows.
    void Reconnect();
    // Reconnect, with the lines of the archived ticket of that number in
    // place of the working ticket's: a sale prints from the archive.
    void ReconnectForSale(const QString &number);

    report::Layout &layout(int k);
    void setRemarkHeight(int k, int px);
    void setPageLength(int k, int px);
    void setValue(int k, const QString &name, const QString &text);
    // Prints layout k once on the printer; throws AppError when it cannot.
    void printLayout(int k, const QString &title);
    // Makes page k the one the window shows.
    void showPage(int k);
    int currentPage() const;

    // What the data sets hold, as the receipt prints it.
    report::Data data();
    // The remark as the hidden box breaks it into lines.
    QStringList remarkLines() const;

    // Before the summary band of layout 1, 2, 3 prints: the remark block
    // takes the hidden box's lines.
    void QRBand3BeforePrint(report::Band &band);
    void QRBand5BeforePrint(report::Band &band);
    void QRBand8BeforePrint(report::Band &band);

private:
    void copyRemark(report::Band &band) const;
    receipt::Paper paper_;
};
