#include "history/XstjUnit.h"

#include "history/Export.h"
#include "history/RjUnit.h"
#include "history/XscxUnit.h"
#include "history/XshzUnit.h"
#include "history/XsmxUnit.h"
#include "store/Archive.h"
#include "store/Clock.h"
#include "store/Idioms.h"
#include "store/Schema.h"
#include "ui/ErrorDisplay.h"
#include "ui/FileDialog.h"
#include "ui/FormKit.h"
#include "ui/GridFooter.h"
#include "ui/ListGrid.h"
#include "ui/MessageBox.h"
#include "ui/PickList.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMouseEvent>
#include <QShowEvent>
#include <QVBoxLayout>

TXstjForm *XstjForm = nullptr;

using namespace schema;

namespace {
// The grid's 时间 column.
constexpr int kTimeColumn = 2;
} // namespace

store::Listing TXstjForm::listByTime()
{
    return store::Listing::all(xstj, col::shijian);
}

store::Listing TXstjForm::listAll()
{
    return store::Listing::all(xstj);
}

TXstjForm::TXstjForm(QWidget *parent)
    : ui::Form("XstjForm", QStringLiteral("销售统计"), QSize(717, 514), parent),
      ADOConnection1(connstr::designShort()),
      ADOQuery1(ADOConnection1, listAll())
{
    ADOConnection1.setLoginPrompt(false);
    ADOQuery1.open();
    buildControls();
    wireHandlers();
}

TXstjForm::~TXstjForm()
{
    if (XstjForm == this)
        XstjForm = nullptr;
}

void TXstjForm::buildControls()
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // The buttons in one row above the grid: 查询, 刷新, 导出, 删除.
    auto *bar = new QHBoxLayout;
    bar->setContentsMargins(6, 6, 6, 6);
    bar->setSpacing(6);
    SpeedButton1 = ui::button(this, "SpeedButton1", QStringLiteral("查询"));
    SpeedButton3 = ui::button(this, "SpeedButton3", QStringLiteral("刷新"));
    SpeedButton2 = ui::button(this, "SpeedButton2", QStringLiteral("导出"));
    SpeedButton4 = ui::button(this, "SpeedButton4", QStringLiteral("删除"));
    SpeedButton5 = ui::button(this, "SpeedButton5", QStringLiteral("重打"));
    SpeedButton5->setAccessibleDescription(QStringLiteral("重新打印选中小票"));
    SpeedButton6 = ui::button(this, "SpeedButton6", QStringLiteral("日结"));
    SpeedButton6->setAccessibleDescription(QStringLiteral("按收银员统计一天的销售"));
    for (QPushButton *b : {SpeedButton1, SpeedButton3, SpeedButton2, SpeedButton4, SpeedButton5, SpeedButton6}) {
        b->setMinimumSize(75, 28);
        bar->addWidget(b);
    }
    bar->addStretch(1);
    layout->addLayout(bar);
    buildFilterRow(layout);

    DBGridEh1 = new ui::ListGrid(ADOQuery1,
                                 {{QStringLiteral("序号"), QString(), 45, false},
                                  {QStringLiteral("单号"), col::danhao, 125, false},
                                  {QStringLiteral("时间"), col::shijian, 140, false},
                                  {QStringLiteral("数量"), col::shuliang, 70, true},
                                  {QStringLiteral("金额"), col::jine, 85, true},
                                  {QStringLiteral("折后"), col::zhehou, 85, true},
                                  {QStringLiteral("收银员"), col::shouyinyuan, 90, false}},
                                 this);
    DBGridEh1->setObjectName(QStringLiteral("DBGridEh1"));
    DBGridEh1->setAccessibleName(QStringLiteral("销售统计"));
    DBGridEh1->setToolTip(QStringLiteral("双击查看销售明细！"));
    DBGridEh1->viewport()->setToolTip(DBGridEh1->toolTip());
    DBGridEh1->setContextMenuPolicy(Qt::CustomContextMenu);
    layout->addWidget(DBGridEh1, 1);

    DBGridEh1Footer = new ui::GridFooter(DBGridEh1, {col::shuliang, col::jine, col::zhehou}, this);
    DBGridEh1Footer->setObjectName(QStringLiteral("DBGridEh1Footer"));
    layout->addWidget(DBGridEh1Footer);

    Edit1 = ui::make<QLineEdit>(this, "Edit1");
    Edit1->hide();

    StatusBar1 = ui::make<QStatusBar>(this, "StatusBar1");
    StatusBar1->setSizeGripEnabled(false);
    layout->addWidget(StatusBar1);

    PopupMenu1 = ui::make<QMenu>(this, "PopupMenu1");
    auto item = [this](const char *name, const QString &caption) {
        QAction *a = caption.isEmpty() ? PopupMenu1->addSeparator() : PopupMenu1->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    N1 = item("N1", QStringLiteral("查询"));
    N2 = item("N2", QStringLiteral("刷新"));
    N3 = item("N3", QString());
    N4 = item("N4", QStringLiteral("导出"));
    N5 = item("N5", QString());
    N6 = item("N6", QStringLiteral("删除"));
    N7 = item("N7", QString());
    N8 = item("N8", QStringLiteral("重打"));
}

// A second row: the days, the cashier, and what is done with them.
void TXstjForm::buildFilterRow(QBoxLayout *layout)
{
    auto *row = new QHBoxLayout;
    row->setContentsMargins(6, 0, 6, 6);
    row->setSpacing(6);
    auto dateBox = [this](const char *name) {
        auto *box = ui::make<QDateEdit>(this, name);
        box->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        box->setCalendarPopup(true);
        return box;
    };
    DateTimePicker1 = dateBox("DateTimePicker1");
    DateTimePicker2 = dateBox("DateTimePicker2");
    Label1 = ui::label(this, "Label1", QStringLiteral("日期："), DateTimePicker1);
    Label2 = ui::label(this, "Label2", QStringLiteral("至"), DateTimePicker2);
    // The label names the first box; each box says which end it is.
    DateTimePicker1->setAccessibleName(QStringLiteral("开始日期"));
    DateTimePicker2->setAccessibleName(QStringLiteral("结束日期"));
    ComboBox1 = ui::make<QComboBox>(this, "ComboBox1");
    ComboBox1->setMinimumWidth(110);
    ComboBox1->addItem(everyCashier());
    Label3 = ui::label(this, "Label3", QStringLiteral("收银员："), ComboBox1);
    SpeedButton7 = ui::button(this, "SpeedButton7", QStringLiteral("筛选"));
    SpeedButton7->setAccessibleDescription(QStringLiteral("只列出所选日期和收银员的小票"));
    SpeedButton8 = ui::button(this, "SpeedButton8", QStringLiteral("清除"));
    SpeedButton8->setAccessibleDescription(QStringLiteral("清除筛选，列出全部小票"));
    SpeedButton9 = ui::button(this, "SpeedButton9", QStringLiteral("汇总"));
    SpeedButton9->setAccessibleDescription(QStringLiteral("按日和按收银员汇总所选日期的销售"));
    row->addWidget(Label1);
    row->addWidget(DateTimePicker1);
    row->addWidget(Label2);
    row->addWidget(DateTimePicker2);
    row->addSpacing(6);
    row->addWidget(Label3);
    row->addWidget(ComboBox1);
    for (QPushButton *b : {SpeedButton7, SpeedButton8, SpeedButton9}) {
        b->setMinimumSize(56, 26);
        row->addWidget(b);
    }
    row->addStretch(1);
    layout->addLayout(row);

    Label4 = ui::make<QLabel>(this, "Label4");
    Label4->setContentsMargins(8, 0, 8, 4);
    Label4->setAccessibleDescription(QStringLiteral("列表里是哪些小票"));
    layout->addWidget(Label4);
    resetFilterBoxes();
}

void TXstjForm::wireHandlers()
{
    ui::on(SpeedButton1, &QPushButton::clicked, this, [this] { SpeedButton1Click(); });
    ui::on(SpeedButton3, &QPushButton::clicked, this, [this] { SpeedButton3Click(); });
    ui::on(SpeedButton2, &QPushButton::clicked, this, [this] { SpeedButton2Click(); });
    ui::on(SpeedButton4, &QPushButton::clicked, this, [this] { SpeedButton4Click(); });
    ui::on(SpeedButton5, &QPushButton::clicked, this, [this] { SpeedButton5Click(); });
    ui::on(SpeedButton6, &QPushButton::clicked, this, [this] { SpeedButton6Click(); });
    ui::on(SpeedButton7, &QPushButton::clicked, this, [this] { SpeedButton7Click(); });
    ui::on(SpeedButton8, &QPushButton::clicked, this, [this] { SpeedButton8Click(); });
    ui::on(SpeedButton9, &QPushButton::clicked, this, [this] { SpeedButton9Click(); });
    ui::on(N1, &QAction::triggered, this, [this] { N1Click(); });
    ui::on(N2, &QAction::triggered, this, [this] { N2Click(); });
    ui::on(N4, &QAction::triggered, this, [this] { N4Click(); });
    ui::on(N6, &QAction::triggered, this, [this] { N6Click(); });
    ui::on(N8, &QAction::triggered, this, [this] { N8Click(); });
    ui::on(DBGridEh1, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        PopupMenu1->popup(DBGridEh1->viewport()->mapToGlobal(at));
    });
    // A double-click anywhere on the grid, the empty area below the rows too.
    DBGridEh1->viewport()->installEventFilter(this);
    // Only the 时间 title sorts; the others stay as they are.
    QHeaderView *titles = DBGridEh1->horizontalHeader();
    titles->setSectionsClickable(true);
    ui::on(titles, &QHeaderView::sectionClicked, this, [this](int column) { DBGridEh1TitleClick(column); });
    // Whoever changed the list (a query, 刷新, the title), its arrow and
    // its description follow. Nothing here throws.
    connect(&ADOQuery1, &Query::reset, this, [this] { showListed(); });
    showListed();
}

void TXstjForm::showEvent(QShowEvent *event)
{
    ui::Form::showEvent(event);
    if (!event->spontaneous())
        ui::guarded([this] { FormShow(); });
}

void TXstjForm::FormShow()
{
    // The window opens on every ticket: the boxes say so, and list the
    // cashiers as they are now.
    timeOrderChosen_ = false;
    resetFilterBoxes();
    const QStringList names = salesrange::cashiers(ADOConnection1);
    ComboBox1->clear();
    ComboBox1->addItem(everyCashier());
    ComboBox1->addItems(names);
    showListed();
}

void TXstjForm::resetFilterBoxes()
{
    const QDate today = appclock::now().date();
    DateTimePicker1->setDate(today);
    DateTimePicker2->setDate(today);
    ComboBox1->setCurrentIndex(0);
}

QString TXstjForm::everyCashier()
{
    return QStringLiteral("全部");
}

salesrange::Filter TXstjForm::filter() const
{
    const QString cashier = ComboBox1->currentIndex() <= 0 ? QString() : ComboBox1->currentText();
    return {DateTimePicker1->date(), DateTimePicker2->date(), cashier};
}

bool TXstjForm::newestFirst()
{
    const std::optional<store::Listing> now = ADOQuery1.listing();
    return now && now->orderColumn == col::shijian && now->descending;
}

void TXstjForm::showListed()
{
    const std::optional<store::Listing> now = ADOQuery1.listing();
    QHeaderView *titles = DBGridEh1->horizontalHeader();
    const bool byTime = timeOrderChosen_ && now && now->orderColumn == col::shijian;
    titles->setSortIndicatorShown(byTime);
    titles->setSortIndicator(byTime ? kTimeColumn : -1,
                             byTime && now->descending ? Qt::DescendingOrder : Qt::AscendingOrder);

    QString listed = QStringLiteral("全部小票");
    if (!now || !ADOQuery1.isActive()) {
        listed.clear();
    } else if (now->hasRange()) {
        const QString to = QDate::fromString(now->rangeTo.toString(), QStringLiteral("yyyy-MM-dd"))
                               .addDays(-1)
                               .toString(QStringLiteral("yyyy-MM-dd"));
        listed = QStringLiteral("%1至%2，%3")
                     .arg(now->rangeFrom.toString(), to,
                          now->hasFilter() ? QStringLiteral("收银员：%1").arg(now->value) : QStringLiteral("全部收银员"));
    } else if (now->hasFilter()) {
        listed = QStringLiteral("查询结果：%1含“%2”").arg(now->filterColumn, now->value);
    }
    if (!listed.isEmpty() && now && now->orderColumn == col::shijian)
        listed += now->descending ? QStringLiteral("，最新的在前") : QStringLiteral("，最早的在前");
    Label4->setText(listed);
}

bool TXstjForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == DBGridEh1->viewport() && event->type() == QEvent::MouseButtonDblClick
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        ui::guarded([this] { DBGridEh1DblClick(); });
        return true;
    }
    return ui::Form::eventFilter(watched, event);
}

void TXstjForm::SpeedButton1Click()
{
    // Every ticket number of the archive: a million of them are read as the
    // list is scrolled, not before the window opens.
    ui::fillPickListByPages(XscxForm->ComboBox1, XscxForm->ADOConnection1, xstj, col::danhao);
    ui::fillPickList(XscxForm->ComboBox2, XscxForm->ADOQuery2, username, col::yonghuming);
    XscxForm->exec();
}

void TXstjForm::SpeedButton3Click()
{
    idiom::reconnectAndReopen(ADOConnection1, {{&ADOQuery1, listAll()}});
}

void TXstjForm::SpeedButton2Click()
{
    // A list longer than a sheet is refused before a name is asked for.
    const QString refusal = history::sheetRoomRefusal(ADOQuery1.recordCount());
    if (!refusal.isEmpty()) {
        msg::show(this, refusal, msg::Icon::Warning);
        return;
    }
    const QString typed =
        ui::saveFileName(this, QStringLiteral("导出"), QString(), QStringLiteral("Excel 工作簿 (*.xlsx)"));
    if (typed.isEmpty())
        return;
    // Asked here, of the name that is written (the dialog saw the name as typed).
    const QString file = history::exportFileName(typed);
    if (const QFileInfo there(file); there.exists() && !there.isDir()
        && msg::show(this, QStringLiteral("文件“%1”已经存在，要替换它吗？").arg(QDir::toNativeSeparators(file)),
                     msg::Icon::Warning, msg::Buttons::OkCancel)
            != msg::Answer::Ok)
        return;
    if (history::exportList(this, ADOQuery1, file) == history::ExportOutcome::Written)
        msg::show(this, QStringLiteral("成功导出全部数据!"), msg::Icon::None);
}

void TXstjForm::SpeedButton4Click()
{
    if (!ADOQuery1.isEmpty()
        && msg::show(this, QStringLiteral("确定要删除选中的销售信息？"), msg::Icon::Warning, msg::Buttons::OkCancel)
            == msg::Answer::Ok)
        ADOQuery1.remove();
    // A list emptied by a query that found nothing clears nothing.
    if (ADOQuery1.isEmpty())
        archive::clearLinesOfNoTicket(ADOConnection1);
}

void TXstjForm::SpeedButton5Click()
{
    // The grid's current row is the selected ticket; an empty list has none.
    if (ADOQuery1.isEmpty()) {
        msg::show(this, QStringLiteral("请先在列表中选中要重打的小票！"), msg::Icon::Warning);
        return;
    }
    emit reprintRequested(ADOQuery1.fieldText(col::danhao));
}

void TXstjForm::SpeedButton6Click()
{
    RjForm->openOnToday();
}

void TXstjForm::SpeedButton7Click()
{
    const salesrange::Filter chosen = filter();
    if (const QString refusal = salesrange::refusal(chosen); !refusal.isEmpty()) {
        msg::show(this, refusal, msg::Icon::Warning);
        return;
    }
    idiom::list(ADOQuery1, salesrange::listing(chosen, newestFirst()));
}

void TXstjForm::SpeedButton8Click()
{
    resetFilterBoxes();
    idiom::list(ADOQuery1, store::Listing::all(xstj).orderedBy(col::shijian, newestFirst()));
}

void TXstjForm::SpeedButton9Click()
{
    const salesrange::Filter chosen = filter();
    if (const QString refusal = salesrange::summaryRefusal(chosen); !refusal.isEmpty()) {
        msg::show(this, refusal, msg::Icon::Warning);
        return;
    }
    XshzForm->openFor(chosen);
}

void TXstjForm::DBGridEh1TitleClick(int column)
{
    const std::optional<store::Listing> now = ADOQuery1.listing();
    if (column != kTimeColumn || !now || now->isDistinct()) {
        showListed(); // the header moved its arrow to the title clicked
        return;
    }
    timeOrderChosen_ = true;
    idiom::list(ADOQuery1, now->orderedBy(col::shijian, !newestFirst()));
}

void TXstjForm::DBGridEh1DblClick()
{
    if (ADOQuery1.isEmpty())
        archive::clearLinesOfNoTicket(ADOConnection1);
    idiom::reconnectAndReopen(XsmxForm->ADOConnection1,
                              {{&XsmxForm->ADOQuery1, store::Listing::all(xsmx, col::danhao)}});
    Edit1->setText(ADOQuery1.fieldText(col::danhao));
    // The ticket's own lines: equal numbers, so a short or empty number never
    // brings in the lines of other tickets.
    idiom::exactSearch(XsmxForm->ADOQuery1, xsmx, col::danhao, Edit1->text());
    XsmxForm->exec();
}

