#include "print/DyjszUnit.h"

#include "print/EscPosPrinter.h"
#include "print/PrinterSettings.h"
#include "ui/ErrorDisplay.h"
#include "ui/FormKit.h"
#include "ui/MessageBox.h"
#include "ui/OneLine.h"

#include <QGridLayout>

TDyjszForm *DyjszForm = nullptr;

namespace {
// Positions of the kinds in ComboBox1.
constexpr int kCups = 0;
constexpr int kEscPos = 1;
} // namespace

TDyjszForm::TDyjszForm(QWidget *parent)
    : ui::Form("DyjszForm", QStringLiteral("打印机设置"), QSize(400, 200), parent)
{
    auto *form = new QGridLayout;
    ComboBox1 = ui::make<QComboBox>(this, "ComboBox1");
    ComboBox1->addItems({QStringLiteral("CUPS 打印机(驱动)"), QStringLiteral("ESC/POS 小票打印机")});
    Label1 = ui::label(this, "Label1", QStringLiteral("打印机："), ComboBox1);
    Edit1 = ui::make<QLineEdit>(this, "Edit1");
    Edit1->setPlaceholderText(QStringLiteral("queue:名称、/dev/usb/lp0 或 192.168.1.50:9100"));
    Label2 = ui::label(this, "Label2", QStringLiteral("地址："), Edit1);
    Edit1->setAccessibleDescription(QStringLiteral("ESC/POS小票打印机的地址：queue:打印队列名、设备路径或主机:端口"));
    ui::keepOneLine(Edit1);
    CheckBox1 = ui::make<QCheckBox>(this, "CheckBox1", QStringLiteral("打开钱箱"));
    CheckBox1->setAccessibleName(QStringLiteral("打开钱箱"));
    CheckBox1->setAccessibleDescription(QStringLiteral("每张小票打印好后打开钱箱"));
    form->addWidget(Label1, 0, 0);
    form->addWidget(ComboBox1, 0, 1);
    form->addWidget(Label2, 1, 0);
    form->addWidget(Edit1, 1, 1);
    form->addWidget(CheckBox1, 2, 1, Qt::AlignLeft);
    form->setColumnStretch(1, 1);
    SpeedButton1 = ui::button(this, "SpeedButton1", QStringLiteral("保存"));
    SpeedButton2 = ui::button(this, "SpeedButton2", QStringLiteral("关闭"));
    ui::layOutDialog(this, form, {SpeedButton1, SpeedButton2}, 12);

    QWidget *order[] = {ComboBox1, Edit1, CheckBox1, SpeedButton1, SpeedButton2};
    for (size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);

    // Follows the kind however it changes: a choice with the mouse or the
    // keys, or the program showing the file.
    ui::on(ComboBox1, &QComboBox::currentIndexChanged, this, [this] { showKind(); });
    ui::on(SpeedButton1, &QPushButton::clicked, this, [this] { SpeedButton1Click(); });
    ui::on(SpeedButton2, &QPushButton::clicked, this, [this] { SpeedButton2Click(); });
    showKind();
}

TDyjszForm::~TDyjszForm()
{
    if (DyjszForm == this)
        DyjszForm = nullptr;
}

void TDyjszForm::showKind()
{
    const bool escpos = ComboBox1->currentIndex() == kEscPos;
    ui::setBoxEnabled(Edit1, escpos);
    CheckBox1->setEnabled(escpos);
}

void TDyjszForm::Open()
{
    const print::PrinterSettings s = print::readPrinterSettings();
    ComboBox1->setCurrentIndex(s.kind == print::PrinterSettings::Kind::EscPos ? kEscPos : kCups);
    Edit1->setText(s.address);
    CheckBox1->setChecked(s.drawer);
    showKind();
    ComboBox1->setFocus();
    exec();
}

void TDyjszForm::SpeedButton1Click()
{
    print::PrinterSettings s;
    s.kind = ComboBox1->currentIndex() == kEscPos ? print::PrinterSettings::Kind::EscPos
                                                  : print::PrinterSettings::Kind::Cups;
    s.address = Edit1->text().trimmed();
    s.drawer = CheckBox1->isChecked();
    // Refused as the checkout would refuse it, before anything is written.
    // A CUPS till never reads the address: it is kept as shown.
    if (s.kind == print::PrinterSettings::Kind::EscPos)
        print::escpos::parseAddress(s.address);
    print::writePrinterSettings(s);
    msg::show(this, QStringLiteral("打印机设置保存成功！"), msg::Icon::Information);
    close();
}

void TDyjszForm::SpeedButton2Click()
{
    close();
}
