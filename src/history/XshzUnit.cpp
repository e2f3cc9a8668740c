#include "history/XshzUnit.h"

#include "ui/ErrorDisplay.h"
#include "ui/FormKit.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QValueAxis>
#include <QVBoxLayout>

#include <algorithm>

TXshzForm *XshzForm = nullptr;

namespace {

const QString kDay = QStringLiteral("yyyy-MM-dd");

// A grid of figures: one row per day or cashier, then 合计 in bold.
QTableWidget *figuresGrid(QWidget *parent, const char *name, const QString &first, const QString &spoken,
                          const QString &description)
{
    auto *grid = ui::make<QTableWidget>(parent, name, 0, 5);
    grid->setHorizontalHeaderLabels(
        {first, QStringLiteral("单数"), QStringLiteral("数量"), QStringLiteral("金额"), QStringLiteral("折后")});
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setAlternatingRowColors(true);
    grid->verticalHeader()->hide();
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    grid->setAccessibleName(spoken);
    grid->setAccessibleDescription(description);
    return grid;
}

void fill(QTableWidget *grid, const QList<salesrange::Figures> &rows, const salesrange::Figures &total,
          const QString &emptyLabel)
{
    QList<QStringList> texts;
    for (const salesrange::Figures &f : rows) {
        QStringList cells = salesrange::cells(f);
        if (cells.first().isEmpty())
            cells.first() = emptyLabel;
        texts << cells;
    }
    texts << salesrange::cells(total);
    grid->setRowCount(static_cast<int>(texts.size()));
    for (int r = 0; r < texts.size(); ++r) {
        for (int c = 0; c < texts[r].size(); ++c) {
            auto *item = new QTableWidgetItem(texts[r][c]);
            if (r == texts.size() - 1) {
                QFont bold = item->font();
                bold.setBold(true);
                item->setFont(bold);
            }
            grid->setItem(r, c, item);
        }
    }
}

} // namespace

TXshzForm::TXshzForm(QWidget *parent)
    : ui::Form("XshzForm", QStringLiteral("销售汇总"), QSize(860, 620), parent),
      ADOConnection1(connstr::designShort())
{
    ADOConnection1.setLoginPrompt(false);
    buildControls();
    ui::on(SpeedButton1, &QPushButton::clicked, this, [this] { SpeedButton1Click(); });
}

TXshzForm::~TXshzForm()
{
    if (XshzForm == this)
        XshzForm = nullptr;
}

void TXshzForm::buildControls()
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(6);

    auto *top = new QHBoxLayout;
    Label1 = ui::make<QLabel>(this, "Label1");
    Label1->setAccessibleDescription(QStringLiteral("汇总的日期、收银员和单数"));
    SpeedButton1 = ui::button(this, "SpeedButton1", QStringLiteral("退出"));
    SpeedButton1->setMinimumSize(75, 28);
    top->addWidget(Label1, 1);
    top->addWidget(SpeedButton1);
    layout->addLayout(top);

    auto *grids = new QHBoxLayout;
    StringGrid1 = figuresGrid(this, "StringGrid1", QStringLiteral("日期"), QStringLiteral("按日汇总"),
                              QStringLiteral("每天一行，最后一行是合计"));
    StringGrid2 = figuresGrid(this, "StringGrid2", QStringLiteral("收银员"), QStringLiteral("按收银员汇总"),
                              QStringLiteral("每个收银员一行，最后一行是合计"));
    grids->addWidget(StringGrid1, 3);
    grids->addWidget(StringGrid2, 2);
    layout->addLayout(grids, 1);

    ChartView1 = ui::make<QChartView>(this, "ChartView1");
    ChartView1->setRenderHint(QPainter::Antialiasing);
    ChartView1->setMinimumHeight(260);
    ChartView1->setAccessibleName(QStringLiteral("每日折后柱状图"));
    ChartView1->setFocusPolicy(Qt::TabFocus);
    layout->addWidget(ChartView1, 1);
}

void TXshzForm::openFor(const salesrange::Filter &filter)
{
    // Sales checked out since the last look are counted: the file is read anew.
    ADOConnection1.close();
    ADOConnection1.setConnectionString(connstr::runtime());
    ADOConnection1.open();
    showSummary(salesrange::summarize(ADOConnection1, filter));
    exec();
}

void TXshzForm::showSummary(const salesrange::Summary &summary)
{
    shown_ = summary;
    fill(StringGrid1, summary.days, summary.total, QString());
    fill(StringGrid2, summary.cashiers, summary.total, QStringLiteral("（无）"));
    const salesrange::Filter &f = summary.filter;
    Label1->setText(QStringLiteral("%1至%2，%3：共%4单")
                        .arg(f.from.toString(kDay), f.to.toString(kDay),
                             f.cashier.isEmpty() ? QStringLiteral("全部收银员") : QStringLiteral("收银员 %1").arg(f.cashier))
                        .arg(summary.total.tickets));
    drawChart(summary);
}

QString TXshzForm::spokenBars(const salesrange::Summary &summary)
{
    QStringList bars;
    for (const salesrange::Figures &d : summary.days)
        bars << QStringLiteral("%1：%2").arg(d.label, salesrange::sumText(d.afterDiscount));
    return QStringLiteral("每日折后：") + bars.join(QStringLiteral("；"));
}

void TXshzForm::drawChart(const salesrange::Summary &summary)
{
    auto *bars = new QBarSet(QStringLiteral("折后"));
    QStringList days;
    double low = 0, high = 0;
    for (const salesrange::Figures &d : summary.days) {
        // Drawn only: the figures themselves stay fixed point in the grids.
        const double value = static_cast<double>(d.afterDiscount) / 10000;
        *bars << value;
        low = std::min(low, value);
        high = std::max(high, value);
        // A month's days are told apart by their day; a longer range by month and day.
        days << (summary.filter.from.month() == summary.filter.to.month()
                         && summary.filter.from.year() == summary.filter.to.year()
                     ? d.label.mid(8)
                     : d.label.mid(5));
    }
    auto *series = new QBarSeries;
    series->append(bars);
    series->setBarWidth(0.8);

    auto *chart = new QChart;
    chart->addSeries(series);
    chart->setTitle(QStringLiteral("每日折后"));
    chart->legend()->hide();
    chart->setMargins(QMargins(4, 4, 4, 4));
    auto *x = new QBarCategoryAxis;
    x->append(days);
    // Month-and-day labels of a long range would overlap side by side.
    if (days.size() > 16 && days.first().size() > 2)
        x->setLabelsAngle(-90);
    chart->addAxis(x, Qt::AlignBottom);
    series->attachAxis(x);
    auto *y = new QValueAxis;
    y->setRange(low, high > low ? high : low + 1);
    y->applyNiceNumbers();
    y->setLabelFormat(QStringLiteral("%g"));
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(y);

    QChart *old = ChartView1->chart();
    ChartView1->setChart(chart);
    delete old;
    ChartView1->setAccessibleDescription(spokenBars(summary));
}

void TXshzForm::SpeedButton1Click()
{
    close();
}
