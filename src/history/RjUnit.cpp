#include "history/RjUnit.h"

#include "store/Clock.h"
#include "ui/ErrorDisplay.h"
#include "ui/FormKit.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>

TRjForm *RjForm = nullptr;

namespace {
const QStringList kTitles{QStringLiteral("收银员"),   QStringLiteral("单数"),     QStringLiteral("数量"),
                          QStringLiteral("金额"),     QStringLiteral("折后"),     QStringLiteral("首单单号"),
                          QStringLiteral("首单时间"), QStringLiteral("末单单号"), QStringLiteral("末单时间")};
} // namespace

TRjForm::TRjForm(QWidget *parent)
    : ui::Form("RjForm", QStringLiteral("日结"), QSize(820, 360), parent), ADOConnection1(connstr::designShort())
{
    ADOConnection1.setLoginPrompt(false);
    buildControls();
    // The day's figures follow the date box, whoever changed it.
    ui::on(DateTimePicker1, &QDateEdit::dateChanged, this, [this] { DateTimePicker1Change(); });
    ui::on(SpeedButton1, &QPushButton::clicked, this, [this] { SpeedButton1Click(); });
    ui::on(SpeedButton2, &QPushButton::clicked, this, [this] { SpeedButton2Click(); });
}

TRjForm::~TRjForm()
{
    if (RjForm == this)
        RjForm = nullptr;
}

void TRjForm::buildControls()
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(6);

    auto *bar = new QHBoxLayout;
    DateTimePicker1 = ui::make<QDateEdit>(this, "DateTimePicker1");
    DateTimePicker1->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    DateTimePicker1->setCalendarPopup(true);
    DateTimePicker1->setAccessibleName(QStringLiteral("日期"));
    DateTimePicker1->setAccessibleDescription(QStringLiteral("日结的日期"));
    Label1 = ui::label(this, "Label1", QStringLiteral("日期："), DateTimePicker1);
    SpeedButton1 = ui::button(this, "SpeedButton1", QStringLiteral("打印"));
    SpeedButton2 = ui::button(this, "SpeedButton2", QStringLiteral("退出"));
    SpeedButton1->setAccessibleDescription(QStringLiteral("在小票打印机上打印日结"));
    bar->addWidget(Label1);
    bar->addWidget(DateTimePicker1);
    bar->addStretch(1);
    for (QPushButton *b : {SpeedButton1, SpeedButton2}) {
        b->setMinimumSize(75, 28);
        bar->addWidget(b);
    }
    layout->addLayout(bar);

    StringGrid1 = ui::make<QTableWidget>(this, "StringGrid1", 0, static_cast<int>(kTitles.size()));
    StringGrid1->setHorizontalHeaderLabels(kTitles);
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    StringGrid1->setAlternatingRowColors(true);
    StringGrid1->verticalHeader()->hide();
    // Ticket numbers and times are read whole, never elided.
    StringGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    StringGrid1->horizontalHeader()->setStretchLastSection(true);
    StringGrid1->horizontalHeader()->setMinimumSectionSize(56);
    StringGrid1->setAccessibleName(QStringLiteral("日结"));
    StringGrid1->setAccessibleDescription(QStringLiteral("每个收银员一行，最后一行是合计"));
    layout->addWidget(StringGrid1, 1);

    Label2 = ui::make<QLabel>(this, "Label2");
    // A name would stand in for the text: the reader reads the text itself.
    Label2->setAccessibleDescription(QStringLiteral("日结说明"));
    layout->addWidget(Label2);
}

void TRjForm::openOnToday()
{
    const QDate today = appclock::now().date();
    if (DateTimePicker1->date() == today)
        DateTimePicker1Change(); // the figures may have grown since
    else
        DateTimePicker1->setDate(today);
    exec();
}

void TRjForm::DateTimePicker1Change()
{
    // Sales checked out since the last look are counted: the file is read anew.
    ADOConnection1.close();
    ADOConnection1.setConnectionString(connstr::runtime());
    ADOConnection1.open();
    showDay(dayend::dayEnd(ADOConnection1, DateTimePicker1->date()));
}

void TRjForm::showDay(const dayend::Day &day)
{
    shown_ = day;
    QList<QStringList> rows;
    for (const dayend::Figures &f : day.cashiers)
        rows << dayend::cells(f.cashier, f);
    rows << dayend::cells(QStringLiteral("合计"), day.total);
    StringGrid1->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        const bool total = r == rows.size() - 1;
        for (int c = 0; c < rows[r].size(); ++c) {
            auto *item = new QTableWidgetItem(rows[r][c]);
            if (total) {
                QFont bold = item->font();
                bold.setBold(true);
                item->setFont(bold);
            }
            StringGrid1->setItem(r, c, item);
        }
    }
    const QString date = day.date.toString(QStringLiteral("yyyy-MM-dd"));
    Label2->setText(day.total.tickets == 0 ? QStringLiteral("%1没有销售。").arg(date)
                                           : QStringLiteral("%1共%2单，%3个收银员。")
                                                 .arg(date)
                                                 .arg(day.total.tickets)
                                                 .arg(day.cashiers.size()));
}

void TRjForm::SpeedButton1Click()
{
    emit printRequested(shown_);
}

void TRjForm::SpeedButton2Click()
{
    close();
}
