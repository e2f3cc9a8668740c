#include "ticket/MainUnit.h"

#include "store/Schema.h"
#include "store/Clock.h"
#include "store/Idioms.h"
#include "ui/ErrorDisplay.h"
#include "ui/FormKit.h"
#include "ui/Help.h"
#include "ui/KeyFilter.h"
#include "ui/ListChoice.h"
#include "ui/ListGrid.h"
#include "ui/MessageBox.h"
#include "ui/OneLine.h"
#include "ui/PickList.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QShowEvent>
#include <QVBoxLayout>

TMainForm *MainForm = nullptr;

namespace {
const QString kCaption = QStringLiteral("Velmora销售小票打印软件 V18.0(标准版)");

QComboBox *editableCombo(QWidget *parent, const char *name, const QStringList &items)
{
    auto *c = ui::make<QComboBox>(parent, name);
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    c->setCompleter(nullptr);
    c->addItems(items);
    c->setCurrentIndex(-1);
    c->setEditText(QString());
    return c;
}

// The remark holder wraps the remark as the receipts print it: 宋体, 13
// pixels high, in a box 225 pixels wide.
QFont remarkFont()
{
    QFont f;
    f.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("Noto Serif CJK SC")});
    f.setPixelSize(13);
    return f;
}

QFont totalsFont()
{
    QFont f;
    f.setFamilies({QStringLiteral("黑体"), QStringLiteral("SimHei"), QStringLiteral("Noto Sans CJK SC")});
    f.setPixelSize(21);
    f.setBold(true);
    return f;
}

// A total is shown whole: one too long for its room is drawn smaller rather
// than cut off or run into the next.
void fitTotal(QLabel *label, int room)
{
    QFont f = totalsFont();
    while (f.pixelSize() > 9 && QFontMetrics(f).horizontalAdvance(label->text()) > room)
        f.setPixelSize(f.pixelSize() - 1);
    label->setFont(f);
    label->resize(qMax(room, 0), label->height());
}

void setTextColour(QWidget *w, const QColor &colour)
{
    QPalette p = w->palette();
    p.setColor(QPalette::Text, colour);
    p.setColor(QPalette::WindowText, colour);
    p.setColor(QPalette::ButtonText, colour);
    w->setPalette(p);
}
} // namespace

TMainForm::TMainForm(QWidget *parent)
    : QMainWindow(parent),
      ADOConnection1(connstr::designShort()),
      ADOQuery1(ADOConnection1, store::Listing::all(schema::spxx)),
      ADOQuery2(ADOConnection1, store::Listing::all(schema::xsxx)),
      ADOQuery3(ADOConnection1, store::Listing::all(schema::dynr)),
      ADOQuery4(ADOConnection1, store::Listing::all(schema::xstj)),
      ADOQuery5(ADOConnection1, store::Listing::all(schema::xsmx)),
      ADOQuery6(ADOConnection1, store::Listing::all(schema::id)),
      ADOQuery7(ADOConnection1, store::Listing::all(schema::username)),
      DBSumList1(ADOQuery2, {QStringLiteral("数量"), QStringLiteral("金额"), QStringLiteral("折后")})
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(kCaption);
    setAttribute(Qt::WA_DeleteOnClose, false);
    ADOConnection1.setLoginPrompt(false);
    // All queries but the archived lines open with the window; that one is
    // first opened by the reconnection of 添加.
    for (Query *q : {&ADOQuery1, &ADOQuery2, &ADOQuery3, &ADOQuery4, &ADOQuery6, &ADOQuery7})
        q->open();

    buildControls();
    wireHandlers();

    Timer1.setInterval(1000);
    ui::on(&Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    Timer1.start();

    // A failing step of the creation handler is shown and the start goes on
    // (the window and its connection exist by now).
    ui::guarded([this] { FormCreate(); });
}

TMainForm::~TMainForm()
{
    // The grid reads the line query: it goes before the queries do.
    delete DBGridEh1;
    DBGridEh1 = nullptr;
    if (MainForm == this)
        MainForm = nullptr;
}

void TMainForm::buildControls()
{
    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("Image1"));
    setCentralWidget(central);
    auto *outer = new QVBoxLayout(central);
    outer->setContentsMargins(10, 8, 10, 4);
    outer->setSpacing(6);

    // Ticket head.
    auto *head = new QGridLayout;
    Edit1 = ui::make<QLineEdit>(central, "Edit1");
    Label2 = ui::label(central, "Label2", QStringLiteral("单号："), Edit1);
    CheckBox1 = ui::make<QCheckBox>(central, "CheckBox1", QStringLiteral("时间："));
    Edit2 = ui::make<QLineEdit>(central, "Edit2");
    Edit2->setAccessibleName(QStringLiteral("时间："));
    ui::setWindowBackground(Edit2, false);
    CheckBox2 = ui::make<QCheckBox>(central, "CheckBox2", QStringLiteral("客户："));
    CheckBox2->setChecked(true);
    Edit9 = ui::make<QLineEdit>(central, "Edit9");
    Edit9->setAccessibleName(QStringLiteral("客户："));
    CheckBox3 = ui::make<QCheckBox>(central, "CheckBox3", QStringLiteral("电话："));
    CheckBox3->setChecked(true);
    Edit10 = ui::make<QLineEdit>(central, "Edit10");
    Edit10->setAccessibleName(QStringLiteral("电话："));
    head->addWidget(Label2, 0, 0);
    head->addWidget(Edit1, 0, 1);
    head->addWidget(CheckBox1, 0, 2);
    head->addWidget(Edit2, 0, 3);
    head->addWidget(CheckBox2, 1, 0);
    head->addWidget(Edit9, 1, 1);
    head->addWidget(CheckBox3, 1, 2);
    head->addWidget(Edit10, 1, 3);
    head->setColumnStretch(1, 1);
    head->setColumnStretch(3, 1);
    outer->addLayout(head);

    // Line input.
    auto *line = new QGridLayout;
    ComboBox1 = editableCombo(central, "ComboBox1", {});
    Label4 = ui::label(central, "Label4", QStringLiteral("品名："), ComboBox1);
    Edit3 = ui::make<QLineEdit>(central, "Edit3");
    Label5 = ui::label(central, "Label5", QStringLiteral("单价："), Edit3);
    Edit4 = ui::make<QLineEdit>(central, "Edit4", QStringLiteral("1"));
    Label6 = ui::label(central, "Label6", QStringLiteral("数量："), Edit4);
    QStringList discounts{QStringLiteral("10")};
    for (int tenths = 99; tenths >= 1; --tenths)
        discounts << QStringLiteral("%1.%2").arg(tenths / 10).arg(tenths % 10);
    ComboBox2 = editableCombo(central, "ComboBox2", discounts);
    ComboBox2->setMaxVisibleItems(15);
    ui::setListText(ComboBox2, QStringLiteral("10"));
    Label7 = ui::label(central, "Label7", QStringLiteral("折扣："), ComboBox2);
    SpeedButton9 = ui::button(central, "SpeedButton9", QStringLiteral("抹零"));
    Edit11 = ui::make<QLineEdit>(central, "Edit11");
    Label3 = ui::label(central, "Label3", QStringLiteral("金额："), Edit11);
    Edit12 = ui::make<QLineEdit>(central, "Edit12");
    Label16 = ui::label(central, "Label16", QStringLiteral("折后："), Edit12);
    for (QLineEdit *amount : {Edit11, Edit12}) {
        ui::setEditable(amount, false);
        setTextColour(amount, Qt::red);
    }
    SpeedButton2 = ui::button(central, "SpeedButton2", QStringLiteral("添加"));
    SpeedButton3 = ui::button(central, "SpeedButton3", QStringLiteral("修改"));
    SpeedButton4 = ui::button(central, "SpeedButton4", QStringLiteral("删除"));
    SpeedButton3->setEnabled(false);
    SpeedButton4->setEnabled(false);
    line->addWidget(Label4, 0, 0);
    line->addWidget(ComboBox1, 0, 1, 1, 3);
    line->addWidget(Label5, 0, 4);
    line->addWidget(Edit3, 0, 5);
    line->addWidget(Label6, 0, 6);
    line->addWidget(Edit4, 0, 7);
    line->addWidget(Label7, 1, 0);
    line->addWidget(ComboBox2, 1, 1);
    line->addWidget(SpeedButton9, 1, 2);
    line->addWidget(Label3, 1, 3, Qt::AlignRight);
    line->addWidget(Edit11, 1, 4, 1, 2);
    line->addWidget(Label16, 1, 6);
    line->addWidget(Edit12, 1, 7);
    auto *lineButtons = new QHBoxLayout;
    lineButtons->addStretch(1);
    lineButtons->addWidget(SpeedButton2);
    lineButtons->addWidget(SpeedButton3);
    lineButtons->addWidget(SpeedButton4);
    line->addLayout(lineButtons, 2, 0, 1, 8);
    line->setColumnStretch(1, 2);
    line->setColumnStretch(5, 1);
    line->setColumnStretch(7, 1);
    outer->addLayout(line);

    // Lines and totals.
    DBGridEh1 = new ui::ListGrid(ADOQuery2,
                                 {{QStringLiteral("序号"), QString(), 45, false},
                                  {QStringLiteral("品名"), QStringLiteral("品名"), 250, false},
                                  {QStringLiteral("单价"), QStringLiteral("单价"), 80, true},
                                  {QStringLiteral("数量"), QStringLiteral("数量"), 50, true},
                                  {QStringLiteral("金额"), QStringLiteral("金额"), 105, true},
                                  {QStringLiteral("折后"), QStringLiteral("折后"), 105, true}},
                                 central);
    DBGridEh1->setObjectName(QStringLiteral("DBGridEh1"));
    DBGridEh1->setAccessibleName(QStringLiteral("商品明细"));
    outer->addWidget(DBGridEh1, 1);

    auto *totals = new QWidget(central);
    totals->setObjectName(QStringLiteral("TotalsRow"));
    totals->setFixedHeight(30);
    Label12 = ui::make<QLabel>(totals, "Label12", QStringLiteral("合计："));
    QFont bold = Label12->font();
    bold.setBold(true);
    Label12->setFont(bold);
    Label13 = ui::make<QLabel>(totals, "Label13", QStringLiteral("0"));
    Label14 = ui::make<QLabel>(totals, "Label14", QStringLiteral("0"));
    Label15 = ui::make<QLabel>(totals, "Label15", QStringLiteral("0"));
    // A screen reader reads a label's text as its name: the figure; what
    // the figure is goes into the description.
    Label13->setAccessibleDescription(QStringLiteral("合计数量"));
    Label14->setAccessibleDescription(QStringLiteral("合计金额"));
    Label15->setAccessibleDescription(QStringLiteral("合计折后"));
    for (QLabel *l : {Label13, Label14, Label15}) {
        l->setFont(totalsFont());
        setTextColour(l, Qt::red);
    }
    // The three totals stand under their grid columns.
    auto placeTotals = [this, totals] {
        QHeaderView *h = DBGridEh1->horizontalHeader();
        const int x0 = DBGridEh1->geometry().x() - totals->geometry().x() + DBGridEh1->frameWidth();
        Label12->setGeometry(x0 + h->sectionPosition(1), 0, h->sectionSize(1), 30);
        Label13->setGeometry(x0 + h->sectionPosition(3), 0, h->sectionSize(3) + 20, 30);
        Label14->setGeometry(x0 + h->sectionPosition(4), 0, h->sectionSize(4), 30);
        Label15->setGeometry(x0 + h->sectionPosition(5), 0, h->sectionSize(5), 30);
        Label12->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        fitTotals();
    };
    connect(DBGridEh1->horizontalHeader(), &QHeaderView::sectionResized, totals, placeTotals);
    connect(DBGridEh1->horizontalHeader(), &QHeaderView::geometriesChanged, totals, placeTotals);
    outer->addWidget(totals);

    // Cashier, payment, shop; buttons and print settings on the right.
    auto *bottom = new QHBoxLayout;
    auto *pay = new QGridLayout;
    ComboBox6 = editableCombo(central, "ComboBox6", {});
    Label17 = ui::label(central, "Label17", QStringLiteral("收银员："), ComboBox6);
    Edit5 = ui::make<QLineEdit>(central, "Edit5");
    Label8 = ui::label(central, "Label8", QStringLiteral("店名："), Edit5);
    ComboBox4 = editableCombo(central, "ComboBox4",
                              {QStringLiteral("100"), QStringLiteral("50"), QStringLiteral("20"),
                               QStringLiteral("10"), QStringLiteral("200"), QStringLiteral("300"),
                               QStringLiteral("500")});
    ComboBox4->setFont(bold);
    Label9 = ui::label(central, "Label9", QStringLiteral("实收："), ComboBox4);
    Label9->setFont(bold);
    Edit6 = ui::make<QLineEdit>(central, "Edit6");
    Label10 = ui::label(central, "Label10", QStringLiteral("找零："), Edit6);
    ui::setEditable(Edit6, false);
    ui::setBackground(Edit6, ui::scrollBarColour());
    Edit6->setFont(bold);
    setTextColour(Edit6, Qt::red);
    pay->addWidget(Label17, 0, 0);
    pay->addWidget(ComboBox6, 0, 1);
    pay->addWidget(Label8, 1, 0);
    pay->addWidget(Edit5, 1, 1);
    pay->addWidget(Label9, 2, 0);
    pay->addWidget(ComboBox4, 2, 1);
    pay->addWidget(Label10, 3, 0);
    pay->addWidget(Edit6, 3, 1);
    bottom->addLayout(pay, 1);

    auto *panel = new QFrame(central);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    auto *pl = new QGridLayout(panel);
    SpeedButton6 = ui::button(panel, "SpeedButton6", QStringLiteral("打印(F5)"));
    SpeedButton6->setMinimumHeight(64);
    QFont big = SpeedButton6->font();
    big.setBold(true);
    big.setPixelSize(18);
    SpeedButton6->setFont(big);
    setTextColour(SpeedButton6, QColor(0, 128, 0));
    SpeedButton1 = ui::button(panel, "SpeedButton1", QStringLiteral("设置"));
    SpeedButton7 = ui::button(panel, "SpeedButton7", QStringLiteral("统计"));
    SpeedButton5 = ui::button(panel, "SpeedButton5", QStringLiteral("预览"));
    SpeedButton10 = ui::button(panel, "SpeedButton10", QStringLiteral("打印机设置"));
    ComboBox5 = editableCombo(panel, "ComboBox5", {QStringLiteral("58"), QStringLiteral("76")});
    ui::setListText(ComboBox5, QStringLiteral("58"));
    Label11 = ui::label(panel, "Label11", QStringLiteral("POS选择："), ComboBox5);
    ComboBox3 = editableCombo(panel, "ComboBox3", {QStringLiteral("1"), QStringLiteral("2")});
    ui::setListText(ComboBox3, QStringLiteral("1"));
    Label1 = ui::label(panel, "Label1", QStringLiteral("打印份数："), ComboBox3);
    pl->addWidget(SpeedButton6, 0, 0, 3, 1);
    pl->addWidget(SpeedButton1, 0, 1);
    pl->addWidget(SpeedButton7, 1, 1);
    pl->addWidget(SpeedButton5, 2, 1);
    pl->addWidget(Label11, 0, 2);
    pl->addWidget(ComboBox5, 0, 3);
    pl->addWidget(Label1, 1, 2);
    pl->addWidget(ComboBox3, 1, 3);
    pl->addWidget(SpeedButton10, 2, 2, 1, 2);
    pl->setColumnStretch(0, 1);
    bottom->addWidget(panel, 1);
    outer->addLayout(bottom);

    // Hidden holders.
    Memo1 = ui::make<QPlainTextEdit>(central, "Memo1");
    Memo1->setFont(remarkFont());
    Memo1->setFixedWidth(225);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->hide();
    Edit7 = ui::make<QLineEdit>(central, "Edit7");
    Edit7->hide();

    // Status bar: three panels.
    StatusBar1 = statusBar();
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    for (int i = 0; i < 3; ++i) {
        StatusPanel[i] = new QLabel(StatusBar1);
        StatusPanel[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        StatusPanel[i]->setFrameShape(QFrame::Panel);
        StatusPanel[i]->setFrameShadow(QFrame::Sunken);
    }
    StatusPanel[0]->setFixedWidth(260);
    StatusPanel[1]->setFixedWidth(200);
    StatusBar1->addWidget(StatusPanel[0]);
    StatusBar1->addWidget(StatusPanel[1]);
    StatusBar1->addWidget(StatusPanel[2], 1);
    StatusPanel[2]->setText(QStringLiteral("快捷键：帮助F1键、打印小票F5键"));

    // Pasted line breaks and tabs never become part of what a box holds.
    for (QLineEdit *box : {Edit1, Edit2, Edit9, Edit10, Edit3, Edit4, Edit5})
        ui::keepOneLine(box);
    for (QComboBox *box : {ComboBox1, ComboBox2, ComboBox6, ComboBox4, ComboBox5, ComboBox3})
        ui::keepOneLine(box);

    // Keyboard order of the window's boxes.
    QWidget *order[] = {Edit1, Edit2, Edit5, ComboBox4, Edit6, ComboBox3, ComboBox5, DBGridEh1,
                        ComboBox1, Edit3, Edit4, ComboBox2, Edit12, CheckBox2, Edit9, CheckBox1,
                        Edit10, CheckBox3, Edit11, ComboBox6,
                        SpeedButton2, SpeedButton3, SpeedButton4, SpeedButton9, SpeedButton6,
                        SpeedButton1, SpeedButton7, SpeedButton5, SpeedButton10};
    for (size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);

    // A fixed frame that cannot be resized.
    setFixedSize(692, 677);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
}

// Each total has the room from its column to the next total (the last, to
// the row's end).
void TMainForm::fitTotals()
{
    const int end = Label15->parentWidget()->width();
    fitTotal(Label13, Label14->x() - Label13->x() - 4);
    fitTotal(Label14, Label15->x() - Label14->x() - 4);
    fitTotal(Label15, end - Label15->x());
}

void TMainForm::setStatusPanel(int index, const QString &text)
{
    StatusPanel[index]->setText(text);
}

QString TMainForm::statusPanel(int index) const
{
    return StatusPanel[index]->text();
}

void TMainForm::FormCreate()
{
    // Restore the options: setting a state runs its handler only on a change.
    CheckBox2->setChecked(ADOQuery6.fieldText(QStringLiteral("客户")) == QLatin1String("1"));
    CheckBox3->setChecked(ADOQuery6.fieldText(QStringLiteral("电话")) == QLatin1String("1"));
    Edit5->setText(ADOQuery3.fieldText(QStringLiteral("店名")));
    Memo1->setPlainText(ADOQuery3.fieldText(QStringLiteral("备注")));
    ui::fillPickList(ComboBox1, ADOQuery1, schema::spxx, schema::col::pinming);
    ui::fillPickList(ComboBox6, ADOQuery7, schema::username, schema::col::yonghuming);
}

void TMainForm::showEvent(QShowEvent *event)
{
    if (!event->spontaneous() && !shownOnce_) {
        shownOnce_ = true;
        ui::centreOnScreen(this);
    }
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        ui::guarded([this] { FormShow(); });
}

void TMainForm::closeEvent(QCloseEvent *event)
{
    QMainWindow::closeEvent(event);
    // Closing the main window ends the program, also while a modeless
    // window of it is still open.
    if (event->isAccepted())
        QCoreApplication::quit();
}

void TMainForm::showNewTicketNumber()
{
    showTicketNumber(appclock::ticketNumber(appclock::now()), true);
}

void TMainForm::showTicketNumber(const QString &number, bool programs)
{
    Edit1->setText(number);
    programsNumber_ = programs ? number : QString();
}

bool TMainForm::numberTyped() const
{
    return Edit1->text() != programsNumber_;
}

void TMainForm::FormShow()
{
    showNewTicketNumber();
    ui::setListText(ComboBox5, ADOQuery6.fieldText(QStringLiteral("pos")));
    ui::setListText(ComboBox3, ADOQuery6.fieldText(QStringLiteral("print")));
    ComboBox1->setFocus();
}

void TMainForm::Timer1Timer()
{
    Edit2->setText(appclock::ticketTime(appclock::now()));
}

void TMainForm::SpeedButton1Click()
{
    emit settingsRequested();
}

void TMainForm::SpeedButton10Click()
{
    emit printerSettingsRequested();
}

void TMainForm::SpeedButton7Click()
{
    emit statisticsRequested();
}

void TMainForm::CheckBox1Click()
{
    if (CheckBox1->isChecked()) {
        Timer1.stop();
        ui::setWindowBackground(Edit2, true);
    } else {
        Timer1.start();
        ui::setWindowBackground(Edit2, false);
    }
}

void TMainForm::CheckBox2Click()
{
    if (CheckBox2->isChecked()) {
        ui::setBoxEnabled(Edit9, true);
        idiom::changeRow(ADOQuery6, {{QStringLiteral("客户"), QStringLiteral("1")}});
    } else {
        ui::setBoxEnabled(Edit9, false);
        ui::setBoxEnabled(Edit10, false);
        CheckBox3->setChecked(false);
        idiom::changeRow(ADOQuery6, {{QStringLiteral("客户"), QStringLiteral("0")},
                                     {QStringLiteral("电话"), QStringLiteral("0")}});
    }
}

void TMainForm::CheckBox3Click()
{
    if (CheckBox3->isChecked()) {
        ui::setBoxEnabled(Edit9, true);
        ui::setBoxEnabled(Edit10, true);
        CheckBox2->setChecked(true);
        idiom::changeRow(ADOQuery6, {{QStringLiteral("客户"), QStringLiteral("1")},
                                     {QStringLiteral("电话"), QStringLiteral("1")}});
    } else {
        ui::setBoxEnabled(Edit10, false);
        idiom::changeRow(ADOQuery6, {{QStringLiteral("电话"), QStringLiteral("0")}});
    }
}

void TMainForm::ComboBox5Change()
{
    idiom::changeRow(ADOQuery6, {{QStringLiteral("pos"), ComboBox5->currentText()}});
}

void TMainForm::ComboBox3Change()
{
    idiom::changeRow(ADOQuery6, {{QStringLiteral("print"), ComboBox3->currentText()}});
}

void TMainForm::WMHotKey(int virtualKey)
{
    if (virtualKey == kVkF1)
        ui::openHelp(this);
    if (virtualKey == kVkF5)
        SpeedButton6Click();
}

void TMainForm::SpeedButton6Click()
{
    emit checkoutRequested();
}

void TMainForm::SpeedButton5Click()
{
    emit previewRequested();
}

void TMainForm::showArchivedSale(const archive::Sale &sale)
{
    showTicketNumber(sale.number, !(numberTyped() && Edit1->text() == sale.number));
    Label13->setText(sale.quantity);
    Label14->setText(sale.amount);
    Label15->setText(sale.afterDiscount);
    fitTotals();
}

void TMainForm::showPrinting(bool printing)
{
    SpeedButton6->setText(printing ? QStringLiteral("正在打印…") : QStringLiteral("打印(F5)"));
    SpeedButton6->setEnabled(!printing);
}

void TMainForm::startNextTicket(const QString &lastNumber)
{
    Label13->setText(QStringLiteral("0"));
    Label14->setText(QStringLiteral("0"));
    Label15->setText(QStringLiteral("0"));
    fitTotals();
    ui::setListText(ComboBox4, QString());
    Edit6->clear();
    Edit9->clear();
    // The clock may still stand in the second just taken: the next ticket
    // shows the next free one (F5 takes the second it is pressed in).
    const QDateTime last = QDateTime::fromString(lastNumber, QStringLiteral("yyyyMMddhhmmss"));
    const QDateTime now = appclock::now();
    showTicketNumber(appclock::ticketNumber(last.isValid() && last >= now ? last.addSecs(1) : now), true);
    // The next sale starts with its first product.
    ComboBox1->setFocus();
}

void TMainForm::showRestoredSale(const archive::Sale &sale)
{
    Edit9->setText(sale.customer);
    Edit10->setText(sale.phone);
    RefreshTotals();
    ui::setListText(ComboBox4, sale.received);
    ComboBox4Change();
}

void TMainForm::wireHandlers()
{
    ui::on(SpeedButton1, &QPushButton::clicked, this, [this] { SpeedButton1Click(); });
    ui::on(SpeedButton7, &QPushButton::clicked, this, [this] { SpeedButton7Click(); });
    ui::on(SpeedButton6, &QPushButton::clicked, this, [this] { SpeedButton6Click(); });
    ui::on(SpeedButton5, &QPushButton::clicked, this, [this] { SpeedButton5Click(); });
    ui::on(SpeedButton10, &QPushButton::clicked, this, [this] { SpeedButton10Click(); });
    ui::on(CheckBox1, &QCheckBox::toggled, this, [this] { CheckBox1Click(); });
    ui::on(CheckBox2, &QCheckBox::toggled, this, [this] { CheckBox2Click(); });
    ui::on(CheckBox3, &QCheckBox::toggled, this, [this] { CheckBox3Click(); });
    // A combo box's change: the user's edits and list choices, never the program's.
    ui::on(ComboBox5->lineEdit(), &QLineEdit::textEdited, this, [this] { ComboBox5Change(); });
    ui::onListChoice(ComboBox5, [this] { ComboBox5Change(); });
    ui::on(ComboBox3->lineEdit(), &QLineEdit::textEdited, this, [this] { ComboBox3Change(); });
    ui::onListChoice(ComboBox3, [this] { ComboBox3Change(); });

    ui::on(SpeedButton2, &QPushButton::clicked, this, [this] { SpeedButton2Click(); });
    ui::on(SpeedButton3, &QPushButton::clicked, this, [this] { SpeedButton3Click(); });
    ui::on(SpeedButton4, &QPushButton::clicked, this, [this] { SpeedButton4Click(); });
    ui::on(SpeedButton9, &QPushButton::clicked, this, [this] { SpeedButton9Click(); });
    ui::on(DBGridEh1, &ui::ListGrid::cellClicked, this, [this] {
        // The blank area below the lines is no line: clicking it selects
        // none and leaves what the cashier typed. An empty grid is all blank
        // area, and a click there leaves the line selection.
        if (DBGridEh1->clickedBelowRows() && DBGridEh1->model()->rowCount() > 0)
            return;
        DBGridEh1CellClick();
    });
    // Only an item chosen from the list (mouse or arrow keys) is a pick:
    // leaving a box whose text happens to match an item is none.
    ui::onListChoice(ComboBox1, [this] { ComboBox1Click(); });
    ui::onListChoice(ComboBox2, [this] { AmountKeyUp(); });
    for (QWidget *box : std::initializer_list<QWidget *>{Edit3, Edit4, ComboBox2}) {
        new ui::NumericKeyFilter(box, [this] { AmountKeyUp(); });
        // A number pasted from the context menu releases no key: the amounts
        // follow it all the same, so 添加 never stores amounts of the old text.
        new ui::KeylessEditHook(box, [this] { AmountKeyUp(); });
    }
    new ui::NumericKeyFilter(ComboBox4, [this] { ComboBox4Change(); });
    ui::on(ComboBox4->lineEdit(), &QLineEdit::textEdited, this, [this] { ComboBox4Change(); });
    ui::onListChoice(ComboBox4, [this] { ComboBox4Change(); });
}
