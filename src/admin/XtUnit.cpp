#include "admin/XtUnit.h"

#include "admin/QxsmUnit.h"
#include "admin/SptjUnit.h"
#include "admin/SpxgUnit.h"
#include "admin/YhtjUnit.h"
#include "admin/YhxgUnit.h"

#include "store/Backup.h"
#include "store/Idioms.h"
#include "store/Schema.h"
#include "store/Session.h"
#include "store/TillSettings.h"
#include "ui/ErrorDisplay.h"
#include "ui/FileDialog.h"
#include "ui/FormKit.h"
#include "ui/ListGrid.h"
#include "ui/MessageBox.h"
#include "ui/OneLine.h"

#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QStyle>
#include <QVBoxLayout>

TXtForm *XtForm = nullptr;

namespace {
void setRed(QLabel *label)
{
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, Qt::red);
    label->setPalette(p);
}

// The remark box separates its lines with a line feed; the stored remark
// separates them with a carriage return and line feed, as typed on Windows.
// Its text is kept as the database gives it back: a pasted remark starting
// with U+FFFE would otherwise be stored byte-swapped, as unreadable signs.
QString storedLines(const QString &boxText)
{
    QString text = ui::storable(boxText);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return text;
}
} // namespace

TXtForm::TXtForm(QWidget *parent)
    : ui::Form("XtForm", QStringLiteral("系统设置"), QSize(454, 356), parent),
      ADOConnection1(connstr::designShort()),
      ADOQuery1(ADOConnection1, store::Listing::all(schema::username)),
      ADOQuery2(ADOConnection1, store::Listing::all(schema::spxx)),
      ADOQuery3(ADOConnection1, store::Listing::all(schema::dynr))
{
    ADOConnection1.setLoginPrompt(false);
    for (Query *q : {&ADOQuery1, &ADOQuery2, &ADOQuery3})
        q->open();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    PageControl1 = ui::make<QTabWidget>(this, "PageControl1");
    layout->addWidget(PageControl1);
    TabSheet1 = ui::make<QWidget>(nullptr, "TabSheet1");
    TabSheet2 = ui::make<QWidget>(nullptr, "TabSheet2");
    TabSheet3 = ui::make<QWidget>(nullptr, "TabSheet3");
    PageControl1->addTab(TabSheet1, QStringLiteral("用户(收银员)"));
    PageControl1->addTab(TabSheet2, QStringLiteral("商品(添加、修改、删除)"));
    PageControl1->addTab(TabSheet3, QStringLiteral("打印内容"));
    TabSheet4 = ui::make<QWidget>(nullptr, "TabSheet4");
    PageControl1->addTab(TabSheet4, QStringLiteral("备份"));
    buildUsersTab();
    buildProductsTab();
    buildPrintContentTab();
    buildBackupTab();
    // A till on a database server keeps no data.mdb: the server's own
    // tools back it up.
    PageControl1->setTabVisible(PageControl1->indexOf(TabSheet4), !store::serverConfigured());

    ui::on(SpeedButton1, &QPushButton::clicked, this, [this] { SpeedButton1Click(); });
    ui::on(SpeedButton2, &QPushButton::clicked, this, [this] { SpeedButton2Click(); });
    ui::on(DBGridEh1, &ui::ListGrid::cellDoubleClicked, this, [this] { SpeedButton2Click(); });
    ui::on(SpeedButton3, &QPushButton::clicked, this, [this] { SpeedButton3Click(); });
    ui::on(SpeedButton8, &QPushButton::clicked, this, [this] { SpeedButton8Click(); });
    ui::on(SpeedButton4, &QPushButton::clicked, this, [this] { SpeedButton4Click(); });
    ui::on(SpeedButton5, &QPushButton::clicked, this, [this] { SpeedButton5Click(); });
    ui::on(DBGridEh2, &ui::ListGrid::cellDoubleClicked, this, [this] { SpeedButton5Click(); });
    ui::on(SpeedButton6, &QPushButton::clicked, this, [this] { SpeedButton6Click(); });
    ui::on(SpeedButton7, &QPushButton::clicked, this, [this] { SpeedButton7Click(); });
    ui::on(SpeedButton9, &QPushButton::clicked, this, [this] { SpeedButton9Click(); });
    ui::on(SpeedButton10, &QPushButton::clicked, this, [this] { SpeedButton10Click(); });
    // Read when looked at: opening each backup costs a moment.
    ui::on(PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
        if (PageControl1->widget(index) == TabSheet4)
            TabSheet4Show();
    });
    // However the window is closed: its close button, Escape.
    ui::on(this, &QDialog::finished, this, [this] { FormClose(); });

    // A failure here is shown and the start goes on.
    ui::guarded([this] { FormCreate(); });
}

TXtForm::~TXtForm()
{
    // The grids read the queries: they go first.
    delete DBGridEh1;
    delete DBGridEh2;
    DBGridEh1 = DBGridEh2 = nullptr;
    if (XtForm == this)
        XtForm = nullptr;
}

void TXtForm::buildUsersTab()
{
    auto *tab = new QVBoxLayout(TabSheet1);
    DBGridEh1 = new ui::ListGrid(ADOQuery1,
                                 {{QStringLiteral("序号"), QString(), 45},
                                  {QStringLiteral("用户名"), schema::col::yonghuming, 200},
                                  {QStringLiteral("权限"), schema::col::quanxian, 150}},
                                 TabSheet1);
    DBGridEh1->setObjectName(QStringLiteral("DBGridEh1"));
    DBGridEh1->setAccessibleName(QStringLiteral("用户(收银员)"));
    tab->addWidget(DBGridEh1, 1);

    auto *buttons = new QHBoxLayout;
    SpeedButton8 = ui::button(TabSheet1, "SpeedButton8", QString());
    SpeedButton8->setFlat(true);
    SpeedButton8->setIcon(style()->standardIcon(QStyle::SP_MessageBoxInformation));
    SpeedButton8->setIconSize(QSize(24, 24));
    SpeedButton8->setToolTip(QStringLiteral("权限说明"));
    SpeedButton8->setAccessibleName(QStringLiteral("权限说明"));
    SpeedButton1 = ui::button(TabSheet1, "SpeedButton1", QStringLiteral("添加"));
    SpeedButton2 = ui::button(TabSheet1, "SpeedButton2", QStringLiteral("修改"));
    SpeedButton3 = ui::button(TabSheet1, "SpeedButton3", QStringLiteral("删除"));
    buttons->addWidget(SpeedButton8);
    buttons->addStretch(1);
    buttons->addWidget(SpeedButton1);
    buttons->addWidget(SpeedButton2);
    buttons->addWidget(SpeedButton3);
    tab->addLayout(buttons);
}

void TXtForm::buildProductsTab()
{
    auto *tab = new QVBoxLayout(TabSheet2);
    DBGridEh2 = new ui::ListGrid(ADOQuery2,
                                 {{QStringLiteral("序号"), QString(), 45},
                                  {QStringLiteral("品名"), schema::col::pinming, 250},
                                  {QStringLiteral("单价"), schema::col::danjia, 100, true}},
                                 TabSheet2);
    DBGridEh2->setObjectName(QStringLiteral("DBGridEh2"));
    DBGridEh2->setAccessibleName(QStringLiteral("商品"));
    tab->addWidget(DBGridEh2, 1);

    auto *buttons = new QHBoxLayout;
    SpeedButton4 = ui::button(TabSheet2, "SpeedButton4", QStringLiteral("添加"));
    SpeedButton5 = ui::button(TabSheet2, "SpeedButton5", QStringLiteral("修改"));
    SpeedButton6 = ui::button(TabSheet2, "SpeedButton6", QStringLiteral("删除"));
    buttons->addStretch(1);
    buttons->addWidget(SpeedButton4);
    buttons->addWidget(SpeedButton5);
    buttons->addWidget(SpeedButton6);
    tab->addLayout(buttons);
}

void TXtForm::buildPrintContentTab()
{
    auto *tab = new QGridLayout(TabSheet3);
    Edit1 = ui::make<QLineEdit>(TabSheet3, "Edit1");
    Label4 = ui::label(TabSheet3, "Label4", QStringLiteral("店名："), Edit1);
    // The store name is one line of the receipt; the remark below has lines.
    ui::keepOneLine(Edit1);
    Label1 = ui::make<QLabel>(TabSheet3, "Label1", QStringLiteral("【请将商店名称控制在16字以内】"));
    setRed(Label1);
    Memo1 = ui::make<QPlainTextEdit>(TabSheet3, "Memo1");
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setTabChangesFocus(true);
    Label5 = ui::label(TabSheet3, "Label5", QStringLiteral("备注："), Memo1);
    Label2 = ui::make<QLabel>(TabSheet3, "Label2", QStringLiteral("【备注内容通过Enter键使文字换行】"));
    setRed(Label2);
    SpeedButton7 = ui::button(TabSheet3, "SpeedButton7", QStringLiteral(" 保存"));
    SpeedButton7->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));

    tab->addWidget(Label4, 0, 0);
    tab->addWidget(Edit1, 0, 1);
    tab->addWidget(Label1, 1, 1);
    tab->addWidget(Label5, 2, 0, Qt::AlignTop);
    tab->addWidget(Memo1, 2, 1);
    tab->addWidget(Label2, 3, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(SpeedButton7);
    tab->addLayout(buttons, 4, 0, 1, 2);
    tab->setRowStretch(2, 1);
    tab->setColumnStretch(1, 1);
}

void TXtForm::buildBackupTab()
{
    auto *tab = new QVBoxLayout(TabSheet4);
    auto *folder = new QHBoxLayout;
    Edit2 = ui::make<QLineEdit>(TabSheet4, "Edit2");
    Edit2->setReadOnly(true);
    Label6 = ui::label(TabSheet4, "Label6", QStringLiteral("备份文件夹："), Edit2);
    SpeedButton9 = ui::button(TabSheet4, "SpeedButton9", QStringLiteral("选择文件夹…"));
    SpeedButton9->setAccessibleDescription(QStringLiteral("把备份放到另一个文件夹，例如U盘"));
    folder->addWidget(Label6);
    folder->addWidget(Edit2, 1);
    folder->addWidget(SpeedButton9);
    tab->addLayout(folder);

    StringGrid1 = ui::make<QTableWidget>(TabSheet4, "StringGrid1", 0, 3);
    StringGrid1->setHorizontalHeaderLabels(
        {QStringLiteral("备份时间"), QStringLiteral("小票数"), QStringLiteral("最后销售")});
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    StringGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    StringGrid1->setAlternatingRowColors(true);
    StringGrid1->verticalHeader()->hide();
    StringGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    StringGrid1->setAccessibleName(QStringLiteral("备份"));
    StringGrid1->setAccessibleDescription(QStringLiteral("每个备份一行：备份时间、小票数、最后一笔销售的时间，最新的在前"));
    tab->addWidget(StringGrid1, 1);

    Label7 = ui::make<QLabel>(TabSheet4, "Label7",
                              QStringLiteral("程序启动、关闭时和每%1笔销售后自动备份；保留最近10个、30天内每天1个、"
                                             "12个月内每月1个。")
                                  .arg(backup::kEveryCheckouts));
    Label7->setWordWrap(true);
    tab->addWidget(Label7);

    auto *buttons = new QHBoxLayout;
    SpeedButton10 = ui::button(TabSheet4, "SpeedButton10", QStringLiteral("恢复"));
    SpeedButton10->setAccessibleDescription(QStringLiteral("用选中的备份替换当前数据，然后重新启动程序(仅限管理员)"));
    buttons->addStretch(1);
    buttons->addWidget(SpeedButton10);
    tab->addLayout(buttons);
}

void TXtForm::FormCreate()
{
    // Loaded once: text typed and not saved stays until it is saved.
    Edit1->setText(ADOQuery3.fieldText(schema::col::dianming));
    Memo1->setPlainText(ADOQuery3.fieldText(schema::col::beizhu));
}

void TXtForm::FormClose()
{
    emit productsChanged();
    emit usersChanged();
}

void TXtForm::ReconnectAndReopen()
{
    idiom::reconnectAndReopen(ADOConnection1, {{&ADOQuery1, store::Listing::all(schema::username)},
                                               {&ADOQuery2, store::Listing::all(schema::spxx)},
                                               {&ADOQuery3, store::Listing::all(schema::dynr)}});
}

void TXtForm::SpeedButton1Click()
{
    YhtjForm->Open();
}

void TXtForm::SpeedButton2Click()
{
    // With no user there is no row to change: saving would add a nameless one.
    if (ADOQuery1.isEmpty()) {
        msg::show(this, QStringLiteral("用户信息为空！"), msg::Icon::None);
        return;
    }
    YhxgForm->Open(ADOQuery1, this);
}

void TXtForm::SpeedButton3Click()
{
    if (msg::show(this, QStringLiteral("确定要删除选中的用户？"), msg::Icon::Warning, msg::Buttons::OkCancel)
        != msg::Answer::Ok)
        return;
    // The built-in administrator, by its exact name only.
    if (ADOQuery1.fieldText(schema::col::yonghuming) == QLatin1String("admin")) {
        msg::show(this, QStringLiteral("管理员不能被删除！"), msg::Icon::Error);
        return;
    }
    ADOQuery1.remove();
}

void TXtForm::SpeedButton8Click()
{
    QxsmForm->exec();
}

void TXtForm::SpeedButton4Click()
{
    // The add dialog is not modal, yet it must take input while this window
    // runs modally: a modal window lets its own secondary windows through.
    // It is never closed with this window.
    if (SptjForm->parentWidget() != this)
        SptjForm->setParent(this, SptjForm->windowFlags());
    SptjForm->Open();
}

void TXtForm::SpeedButton5Click()
{
    if (ADOQuery2.isEmpty()) {
        msg::show(this, QStringLiteral("商品信息为空！"), msg::Icon::None);
        return;
    }
    SpxgForm->Open(ADOQuery2);
}

void TXtForm::SpeedButton6Click()
{
    if (ADOQuery2.isEmpty()) {
        msg::show(this, QStringLiteral("商品信息为空！"), msg::Icon::Warning, msg::Buttons::OkCancel);
        return;
    }
    if (msg::show(this, QStringLiteral("确定要删除选中的商品？"), msg::Icon::Warning, msg::Buttons::OkCancel)
        != msg::Answer::Ok)
        return;
    ADOQuery2.remove();
}

void TXtForm::SpeedButton7Click()
{
    // The state the login gave the box is the right to change the content.
    if (Edit1->isReadOnly()) {
        msg::show(this, QStringLiteral("您没有权限设置打印内容！"), msg::Icon::None);
        return;
    }
    const QString storeName = Edit1->text();
    const QString remark = storedLines(Memo1->toPlainText());
    schema::requireFits(schema::dynr, schema::col::dianming, storeName);
    schema::requireFits(schema::dynr, schema::col::beizhu, remark);
    ADOQuery3.first();
    idiom::changeRow(ADOQuery3, {{schema::col::dianming, storeName}, {schema::col::beizhu, remark}});
    msg::show(this, QStringLiteral("设置打印内容保存成功！"), msg::Icon::Warning);
    emit printContentChanged(ADOQuery3.fieldText(schema::col::dianming), ADOQuery3.fieldText(schema::col::beizhu));
}

void TXtForm::TabSheet4Show()
{
    const QString folder = backup::folderFor(ADOConnection1.filePath());
    Edit2->setText(QDir::toNativeSeparators(folder));
    const QList<backup::Summary> backups = backup::list(folder);
    StringGrid1->setRowCount(static_cast<int>(backups.size()));
    for (int r = 0; r < backups.size(); ++r) {
        const backup::Summary &b = backups[r];
        const QStringList cells{
            b.taken.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
            b.problem.isEmpty() ? QString::number(b.tickets) : QStringLiteral("无法读取(%1)").arg(b.problem),
            b.lastSale,
        };
        for (int c = 0; c < cells.size(); ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            item->setData(Qt::UserRole, b.file);
            StringGrid1->setItem(r, c, item);
        }
    }
    if (!backups.isEmpty())
        StringGrid1->selectRow(0);
}

QString TXtForm::selectedBackup() const
{
    const QList<QTableWidgetItem *> selected = StringGrid1->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->data(Qt::UserRole).toString();
}

void TXtForm::SpeedButton9Click()
{
    if (!session::administrator()) {
        msg::show(this, QStringLiteral("只有管理员才能更改备份文件夹！"), msg::Icon::Warning);
        return;
    }
    const QString chosen = ui::existingFolder(this, QStringLiteral("选择备份文件夹"), Edit2->text());
    if (chosen.isEmpty())
        return;
    backup::setFolder(QDir::cleanPath(chosen));
    TabSheet4Show();
}

void TXtForm::SpeedButton10Click()
{
    if (!session::administrator()) {
        msg::show(this, QStringLiteral("只有管理员才能恢复数据！"), msg::Icon::Warning);
        return;
    }
    const QString file = selectedBackup();
    if (file.isEmpty()) {
        msg::show(this, QStringLiteral("请先选择要恢复的备份！"), msg::Icon::None);
        return;
    }
    const int row = StringGrid1->selectedItems().first()->row();
    const QString text = QStringLiteral("确定要用%1的备份(%2张小票)替换当前的数据？\n"
                                        "当前的数据会另外保存，恢复后程序将重新启动。")
                             .arg(StringGrid1->item(row, 0)->text(), StringGrid1->item(row, 1)->text());
    if (msg::show(this, text, msg::Icon::Warning, msg::Buttons::OkCancel) != msg::Answer::Ok)
        return;
    emit restoreRequested(file);
}
