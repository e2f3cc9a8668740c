// Makes pictures of the six receipts, each printed by a real checkout of a
// sample ticket (Chinese names, a two-line remark) and of one with long
// names and large numbers, rendered at 203 dpi in one-bit black as a
// thermal printer burns it; and of the preview window showing each layout.
//
//   receipt_pictures <folder>
#include "app/Forms.h"
#include "app/Wiring.h"
#include "print/Dy58Unit.h"
#include "print/Dy76Unit.h"
#include "print/Printer.h"
#include "report/Output.h"
#include "store/Clock.h"
#include "store/Connection.h"
#include "store/DayEnd.h"
#include "store/Session.h"
#include "ticket/MainUnit.h"
#include "ui/ListChoice.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

namespace {

// Saves each receipt as the next file name given.
class PicturePrinter : public print::Printer {
public:
    QString nextFile;
    void print(report::Layout &layout, const report::Data &data, const QString &) override
    {
        const QImage image = report::renderImage(layout, data, 203, true);
        if (!image.save(nextFile))
            std::fprintf(stderr, "cannot write %s\n", qPrintable(nextFile));
        else
            std::printf("%s  %d x %d dots\n", qPrintable(nextFile), image.width(), image.height());
    }
};

void sql(const QString &text, const QVariantList &args = {})
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("pictures"));
    db.setDatabaseName(QDir::current().absoluteFilePath(QStringLiteral("data.mdb")));
    db.open();
    {
        QSqlQuery q(db);
        q.prepare(text);
        for (const QVariant &a : args)
            q.addBindValue(a);
        q.exec();
    }
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("pictures"));
}

void addLine(const QString &name, const QString &price, const QString &quantity, const QString &discount)
{
    TMainForm *f = MainForm;
    f->ComboBox1->setEditText(name);
    f->Edit3->setText(price);
    f->Edit4->setText(quantity);
    f->ComboBox2->setEditText(discount);
    f->AmountKeyUp();
    f->SpeedButton2Click();
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QLocale::setDefault(QLocale::c());
    QStandardPaths::setTestModeEnabled(true);
    if (argc < 2) {
        std::fprintf(stderr, "usage: receipt_pictures <folder>\n");
        return 2;
    }
    const QString out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(out);

    QTemporaryDir work;
    QFile::copy(QStringLiteral(VELMORA_DELIVERED_DB), work.filePath(QStringLiteral("data.mdb")));
    QFile::setPermissions(work.filePath(QStringLiteral("data.mdb")), QFile::ReadOwner | QFile::WriteOwner);
    QDir::setCurrent(work.path());
    sql(QStringLiteral("update dynr set 店名 = ?, 备注 = ?"),
        {QStringLiteral("小王便利店(中山路店)"), QStringLiteral("谢谢惠顾，欢迎再次光临！\n退换货请凭本小票于七日内办理")});
    appclock::setSource([] { return QDateTime(QDate(2024, 3, 5), QTime(14, 26, 8)); });
    msg::setHook([](const msg::Prompt &p) {
        std::fprintf(stderr, "message: %s\n", qPrintable(p.text));
        return msg::Answer::Ok;
    });

    auto printer = std::make_unique<PicturePrinter>();
    PicturePrinter *pictures = printer.get();
    print::setPrinter(std::move(printer));
    app::createForms();
    // As after the administrator's login: the checkout sells nothing before one.
    session::logIn({QStringLiteral("admin"), true});
    TMainForm *f = MainForm;
    f->show(); // the first ticket number
    f->Timer1Timer();
    // The preview before any checkout: the placeholders.
    Dy58Form->showPage(3);
    Dy58Form->grab().save(QDir(out).filePath(QStringLiteral("preview-58mm-before-any-checkout.png")));

    const struct {
        const char *paper;
        int layout;
    } receipts[] = {{"58", 1}, {"58", 2}, {"58", 3}, {"76", 1}, {"76", 2}, {"76", 3}};
    for (const auto &r : receipts) {
        ui::setListText(f->ComboBox5, QString::fromLatin1(r.paper));
        ui::setListText(f->ComboBox3, QStringLiteral("1"));
        f->CheckBox3->setChecked(r.layout == 3);
        f->CheckBox2->setChecked(r.layout >= 2);
        f->ComboBox6->setEditText(QStringLiteral("张三"));
        f->Edit9->setText(QStringLiteral("王先生"));
        f->Edit10->setText(QStringLiteral("13800138000"));
        addLine(QStringLiteral("农夫山泉矿泉水550ml"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("10"));
        addLine(QStringLiteral("康师傅红烧牛肉面"), QStringLiteral("4.5"), QStringLiteral("2"), QStringLiteral("9.5"));
        addLine(QStringLiteral("青岛啤酒"), QStringLiteral("6.8"), QStringLiteral("1"), QStringLiteral("10"));
        ui::setListText(f->ComboBox4, QStringLiteral("50"));
        f->ComboBox4Change();
        pictures->nextFile = QDir(out).filePath(QStringLiteral("receipt-%1mm-layout%2.png").arg(QLatin1String(r.paper)).arg(r.layout));
        f->SpeedButton6Click();
    }
    // 重打 of the first of these tickets, on 58 mm paper with customer and
    // phone: the archived ticket, marked, without 实收 and 找零.
    ui::setListText(f->ComboBox5, QStringLiteral("58"));
    f->CheckBox2->setChecked(true);
    f->CheckBox3->setChecked(true);
    pictures->nextFile = QDir(out).filePath(QStringLiteral("reprint-58mm-layout3.png"));
    print::reprint(app::tillOf(*f), QStringLiteral("20240305142608"));
    // The same six receipts for a ticket that pushes every column: long
    // names, a 9-digit price, a 6-digit quantity and the totals they make.
    sql(QStringLiteral("update dynr set 店名 = ?"),
        {QStringLiteral("小王便利连锁超市有限公司中山路旗舰店(二十四小时营业，送货上门，电话订购享九五折优惠)")});
    const QString longName = QStringLiteral("进口特级初榨橄榄油礼盒装(西班牙原装进口)1L×2瓶 加赠定制开瓶器与防滑餐垫");
    QString longest;
    while (longest.size() < 255)
        longest += QStringLiteral("超长品名测试ABC123-");
    longest.truncate(255);
    for (const auto &r : receipts) {
        ui::setListText(f->ComboBox5, QString::fromLatin1(r.paper));
        ui::setListText(f->ComboBox3, QStringLiteral("1"));
        f->CheckBox3->setChecked(r.layout == 3);
        f->CheckBox2->setChecked(r.layout >= 2);
        f->ComboBox6->setEditText(QStringLiteral("欧阳娜娜娜娜"));
        f->Edit9->setText(QStringLiteral("上海浦东新区张江高科技园区某某信息技术股份有限公司采购部王经理"));
        f->Edit10->setText(QStringLiteral("021-58888888转8001 / 13800138000"));
        addLine(longName, QStringLiteral("123456789"), QStringLiteral("123456"), QStringLiteral("10"));
        addLine(QStringLiteral("可乐"), QStringLiteral("12345"), QStringLiteral("100"), QStringLiteral("10"));
        addLine(longest, QStringLiteral("99999.99"), QStringLiteral("999999"), QStringLiteral("9.5"));
        ui::setListText(f->ComboBox4, QStringLiteral("99999999999999"));
        f->ComboBox4Change();
        pictures->nextFile = QDir(out).filePath(
            QStringLiteral("receipt-%1mm-layout%2-long.png").arg(QLatin1String(r.paper)).arg(r.layout));
        f->SpeedButton6Click();
    }
    // 日结 of that day, on both papers: two cashiers, the long ticket's totals.
    {
        Connection connection(connstr::runtime());
        const dayend::Day day = dayend::dayEnd(connection, QDate(2024, 3, 5));
        for (const char *paper : {"58", "76"}) {
            ui::setListText(f->ComboBox5, QString::fromLatin1(paper));
            pictures->nextFile = QDir(out).filePath(QStringLiteral("dayend-%1mm.png").arg(QLatin1String(paper)));
            print::printDayEnd(app::tillOf(*f), day);
        }
    }
    // The preview window as 预览 shows it after these checkouts, one picture
    // per paper width and layout, taken while it is open.
    for (const auto &r : receipts) {
        ui::setListText(f->ComboBox5, QString::fromLatin1(r.paper));
        f->CheckBox3->setChecked(r.layout == 3);
        f->CheckBox2->setChecked(r.layout >= 2);
        const QString file = QDir(out).filePath(
            QStringLiteral("preview-%1mm-layout%2.png").arg(QLatin1String(r.paper)).arg(r.layout));
        QTimer::singleShot(100, [file] {
            if (QWidget *shown = QApplication::activeModalWidget()) {
                shown->grab().save(file);
                std::printf("%s\n", qPrintable(file));
                shown->close();
            }
        });
        f->SpeedButton5Click();
    }
    session::logOut();
    app::destroyForms();
    print::setPrinter({});
    QDir::setCurrent(QDir::tempPath());
    return 0;
}
