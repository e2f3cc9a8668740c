// The products tab of 系统设置: the add dialog beside the settings window,
// the modify dialog with its price shown to the cent, deleting, and what a
// price box lets through.
#include "AdminTest.h"

#include <QPointer>

using admintest::inModal;
using admintest::inSettings;
using admintest::shown;

class TestProducts : public QObject {
    Q_OBJECT
    admintest::Fixture f_;
    const QList<QStringList> seeded_ = {{u"可乐"_s, u"3"_s},
                                        {u"薯片"_s, u"12.375"_s},
                                        {u"散装糖"_s, QString()},
                                        {u"饼干"_s, u"1.005"_s}};

private slots:
    void init() { f_.start(); }
    void cleanup() { f_.stop(); }
    void priceFilter_data();
    void priceFilter();
    void addProduct_data();
    void addProduct();
    void modifyProduct_data();
    void modifyProduct();
    void emptyCatalogue_data();
    void emptyCatalogue();
    void deleteProduct_data();
    void deleteProduct();
    void addDialogIsNotModal();
};

void TestProducts::priceFilter_data()
{
    QTest::addColumn<bool>("modify"); // the modify dialog's box, else the add dialog's
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("shown");

    QTest::newRow("add: a second point") << false << u"1.2.3"_s << u"1.23"_s;
    QTest::newRow("add: letters, minus, space, comma") << false << u"a-1 ,2e"_s << u"12"_s;
    QTest::newRow("add: backspace") << false << u"12\b5"_s << u"15"_s;
    QTest::newRow("modify: a second point") << true << u"7.5.0"_s << u"7.50"_s;
}

void TestProducts::priceFilter()
{
    QFETCH(bool, modify);
    QFETCH(QString, keys);
    QFETCH(QString, shown);

    QString text;
    inSettings([&] {
        XtForm->PageControl1->setCurrentWidget(XtForm->TabSheet2);
        if (!modify) {
            testing::click(XtForm->SpeedButton4);
            testing::typeInto(SptjForm->Edit2, keys);
            text = SptjForm->Edit2->text();
            return;
        }
        inModal(XtForm->SpeedButton5, [&](QWidget *) {
            admintest::retype(SpxgForm->Edit2, keys);
            text = SpxgForm->Edit2->text();
        });
    });
    QCOMPARE(text, shown);
}

void TestProducts::addProduct_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("price");
    QTest::addColumn<bool>("keepOpen");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("added");

    QTest::newRow("both empty") << QString() << QString() << true << u"添加商品不能为空！"_s << QStringList();
    QTest::newRow("a name without a price") << u"雪碧"_s << QString() << true << u"添加商品成功！"_s
                                            << QStringList{u"雪碧"_s, QString()};
    QTest::newRow("a price without a name") << QString() << u"2.5"_s << true << u"添加商品成功！"_s
                                            << QStringList{QString(), u"2.5"_s};
    QTest::newRow("a name that exists, the dialog closes") << u"可乐"_s << u"3.5"_s << false << u"添加商品成功！"_s
                                                           << QStringList{u"可乐"_s, u"3.5"_s};
}

void TestProducts::addProduct()
{
    QFETCH(QString, name);
    QFETCH(QString, price);
    QFETCH(bool, keepOpen);
    QFETCH(QString, message);
    QFETCH(QStringList, added);

    testing::typeInto(MainForm->ComboBox1, u"可"_s);
    inSettings([&] {
        XtForm->PageControl1->setCurrentWidget(XtForm->TabSheet2);
        testing::click(XtForm->SpeedButton4);
        if (!keepOpen)
            testing::click(SptjForm->CheckBox1);
        testing::typeInto(SptjForm->Edit1, name);
        testing::typeInto(SptjForm->Edit2, price);
        testing::click(SptjForm->SpeedButton1);
        QCOMPARE(SptjForm->isVisible(), keepOpen);
        if (added.isEmpty())
            return;
        QCOMPARE(SptjForm->Edit1->text() + SptjForm->Edit2->text(), QString());
        QCOMPARE(XtForm->DBGridEh2->model()->rowCount(), int(seeded_.size()) + 1);
        // The main window lists the new name already, once, and its box is emptied.
        QCOMPARE(MainForm->ComboBox1->currentText(), QString());
        QCOMPARE(admintest::items(MainForm->ComboBox1).count(name), 1);
    });
    QCOMPARE(shown(*f_.prompts), QStringList{u"SptjForm none ok "_s + message});
    QCOMPARE(admintest::products(), added.isEmpty() ? seeded_ : seeded_ + QList<QStringList>{added});
}

void TestProducts::modifyProduct_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("doubleClick");
    QTest::addColumn<QString>("shownPrice");
    QTest::addColumn<QString>("newName"); // empty: the name is left
    QTest::addColumn<QStringList>("stored");

    QTest::newRow("12.375 shows and saves as 12.38") << 1 << false << u"12.38"_s << QString()
                                                    << QStringList{u"薯片"_s, u"12.38"_s};
    QTest::newRow("1.005 shows 1.01, by double-click") << 3 << true << u"1.01"_s << QString()
                                                      << QStringList{u"饼干"_s, u"1.01"_s};
    QTest::newRow("no price: opens empty and can be renamed") << 2 << false << QString() << u"散糖"_s
                                                             << QStringList{u"散糖"_s, QString()};
}

void TestProducts::modifyProduct()
{
    QFETCH(int, row);
    QFETCH(bool, doubleClick);
    QFETCH(QString, shownPrice);
    QFETCH(QString, newName);
    QFETCH(QStringList, stored);

    ui::ListGrid *grid = XtForm->DBGridEh2;
    QString price;
    inSettings([&] {
        XtForm->PageControl1->setCurrentWidget(XtForm->TabSheet2);
        admintest::clickRow(grid, row);
        testing::whileModal([&](QWidget *) {
            price = SpxgForm->Edit2->text();
            if (!newName.isEmpty())
                admintest::retype(SpxgForm->Edit1, newName);
            testing::click(SpxgForm->SpeedButton1);
        });
        if (doubleClick)
            testing::doubleClickAt(grid->viewport(), admintest::rowPoint(grid, row));
        else
            testing::click(XtForm->SpeedButton5);
        QCOMPARE(grid->model()->index(row, 1).data().toString(), stored[0]);
        QCOMPARE(admintest::items(MainForm->ComboBox1).count(stored[0]), 1);
    });
    QCOMPARE(price, shownPrice);
    QCOMPARE(shown(*f_.prompts), QStringList{u"SpxgForm none ok 修改商品信息成功！"_s});
    QCOMPARE(admintest::products()[row], stored);
}

void TestProducts::emptyCatalogue_data()
{
    QTest::addColumn<int>("action"); // 0: 修改, 1: double-click on the empty list, 2: 删除
    QTest::addColumn<QString>("message");

    QTest::newRow("修改") << 0 << u"XtForm none ok 商品信息为空！"_s;
    QTest::newRow("double-click") << 1 << u"XtForm none ok 商品信息为空！"_s;
    QTest::newRow("删除") << 2 << u"XtForm warning okcancel 商品信息为空！"_s;
}

void TestProducts::emptyCatalogue()
{
    QFETCH(int, action);
    QFETCH(QString, message);

    f_.program.reset();
    testing::exec(u"delete from spxx"_s);
    f_.program.emplace();
    f_.prompts->answer(msg::Answer::Ok); // either answer only closes the box
    // A dialog that opens is closed again, and remembered.
    QPointer<QWidget> opened;
    QTimer watchdog;
    connect(&watchdog, &QTimer::timeout, this, [&] {
        if (QWidget *m = QApplication::activeModalWidget(); m && m != XtForm)
            (opened = m)->close();
    });
    inSettings([&] {
        XtForm->PageControl1->setCurrentWidget(XtForm->TabSheet2);
        watchdog.start(200);
        QWidget *targets[] = {XtForm->SpeedButton5, XtForm->DBGridEh2->viewport(), XtForm->SpeedButton6};
        if (action == 1)
            testing::doubleClickAt(targets[1], {40, 60});
        else
            testing::click(targets[action]);
        watchdog.stop();
    });
    QVERIFY(!opened);
    QCOMPARE(shown(*f_.prompts), QStringList{message});
}

void TestProducts::deleteProduct_data()
{
    QTest::addColumn<bool>("confirm");
    QTest::newRow("OK") << true;
    QTest::newRow("Cancel") << false;
}

void TestProducts::deleteProduct()
{
    QFETCH(bool, confirm);

    f_.prompts->answer(confirm ? msg::Answer::Ok : msg::Answer::Cancel);
    inSettings([&] {
        XtForm->PageControl1->setCurrentWidget(XtForm->TabSheet2);
        admintest::clickRow(XtForm->DBGridEh2, 1);
        testing::click(XtForm->SpeedButton6);
        // The main window's list waits for the settings window to close.
        QVERIFY(admintest::items(MainForm->ComboBox1).contains(u"薯片"_s));
    });
    QCOMPARE(shown(*f_.prompts), QStringList{u"XtForm warning okcancel 确定要删除选中的商品？"_s});
    QList<QStringList> remaining = seeded_;
    if (confirm)
        remaining.removeAt(1);
    QCOMPARE(admintest::products(), remaining);
    QCOMPARE(admintest::items(MainForm->ComboBox1).contains(u"薯片"_s), !confirm);
}

void TestProducts::addDialogIsNotModal()
{
    inSettings([] {
        XtForm->PageControl1->setCurrentWidget(XtForm->TabSheet2);
        testing::click(XtForm->SpeedButton4);
        QVERIFY(QTest::qWaitForWindowExposed(SptjForm));
        testing::typeInto(SptjForm->Edit1, u"雪碧"_s);
        // As the window system delivers it: the modal settings window lets it through.
        testing::clickThroughWindow(SptjForm->SpeedButton1);
    });
    QCOMPARE(admintest::products().value(seeded_.size()), (QStringList{u"雪碧"_s, QString()}));
    QVERIFY(SptjForm->isVisible());

    // With the dialog still open, closing the main window ends the program.
    bool ended = true;
    QTimer::singleShot(0, MainForm, [] { MainForm->close(); });
    QTimer timeout;
    timeout.setSingleShot(true);
    connect(&timeout, &QTimer::timeout, this, [&ended] {
        ended = false;
        QCoreApplication::quit();
    });
    timeout.start(5000);
    QApplication::exec();
    QVERIFY(ended);
}

QTEST_MAIN(TestProducts)
#include "tst_products.moc"
