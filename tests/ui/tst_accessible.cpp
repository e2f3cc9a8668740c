// What a screen reader is told, asked as a reader asks: through the
// accessible interfaces of the program's real controls. A drop-down list
// gives its name, its entries (as many as the list has read) and its current
// entry; a grid's footer gives its sums.
#include "support/TestSupport.h"

#include "app/LoginUnit.h"
#include "history/XstjUnit.h"
#include "ticket/MainUnit.h"
#include "ui/GridFooter.h"
#include "ui/ListGrid.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QComboBox>
#include <QStandardPaths>
#include <QtTest>

#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kProducts = 3000;

QStringList items(QComboBox *box)
{
    QStringList names;
    for (int i = 0; i < box->count(); ++i)
        names << box->itemText(i);
    return names;
}

// The entries a reader finds under the list's interface.
QStringList spokenEntries(QAccessibleInterface *list)
{
    QStringList names;
    for (int i = 0; i < list->childCount(); ++i) {
        QAccessibleInterface *entry = list->child(i);
        if (entry && entry->role() == QAccessible::ListItem)
            names << entry->text(QAccessible::Name);
    }
    return names;
}

// The entry the list marks as the selected one, as a reader finds it.
QString selectedEntry(QAccessibleInterface *list)
{
    for (int i = 0; i < list->childCount(); ++i) {
        QAccessibleInterface *entry = list->child(i);
        if (entry && entry->state().selected)
            return entry->text(QAccessible::Name);
    }
    return u"<none>"_s;
}

} // namespace

class TestAccessible : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void listsTellTheirEntries_data();
    void listsTellTheirEntries();
    void longListTellsWhatItHasRead();
    void loginListTellsItsUsers();
    void footerTellsItsSums();

private:
    std::unique_ptr<testing::Session> session_;
};

void TestAccessible::initTestCase()
{
    QLocale::setDefault(QLocale::c());
    QStandardPaths::setTestModeEnabled(true);
}

void TestAccessible::init()
{
    session_ = std::make_unique<testing::Session>();
    testing::exec(u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?) "
                  "INSERT INTO spxx (品名, 单价) SELECT '商品' || i, 1 FROM n"_s,
                  {kProducts});
    testing::exec(u"insert into username values ('张三', '', '普通用户')"_s);
    session_->restart();
}

void TestAccessible::cleanup()
{
    session_.reset();
}

void TestAccessible::listsTellTheirEntries_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("pick");

    QTest::newRow("折扣") << u"ComboBox2"_s << u"折扣："_s << u"9.5"_s;
    QTest::newRow("收银员") << u"ComboBox6"_s << u"收银员："_s << u"张三"_s;
    QTest::newRow("实收") << u"ComboBox4"_s << u"实收："_s << u"50"_s;
    QTest::newRow("POS选择") << u"ComboBox5"_s << u"POS选择："_s << u"76"_s;
}

// Named by its label, its entries as the list holds them, its current entry
// as its value and as the entry marked in its list, its text box its own child.
void TestAccessible::listsTellTheirEntries()
{
    QFETCH(QString, box);
    QFETCH(QString, name);
    QFETCH(QString, pick);

    auto *list = MainForm->findChild<QComboBox *>(box);
    QVERIFY(list);
    QAccessibleInterface *reader = QAccessible::queryAccessibleInterface(list);
    QVERIFY(reader);
    QCOMPARE(reader->role(), QAccessible::ComboBox);
    QCOMPARE(reader->text(QAccessible::Name), name);
    QCOMPARE(reader->childCount(), 2);
    QAccessibleInterface *entries = reader->child(0);
    QVERIFY(entries);
    QCOMPARE(entries->role(), QAccessible::List);
    QCOMPARE(reader->indexOfChild(entries), 0);
    QCOMPARE(spokenEntries(entries), items(list));
    QAccessibleInterface *text = reader->child(1);
    QVERIFY(text);
    QCOMPARE(text->object(), list->lineEdit());
    QCOMPARE(reader->indexOfChild(text), 1);

    QVERIFY(testing::pickFromList(list, pick));
    QCOMPARE(reader->text(QAccessible::Value), pick);
    QCOMPARE(selectedEntry(reader->child(0)), pick);
}

// The product list of a large catalogue: what it has read is what the
// reader is told, and more once the list reads on.
void TestAccessible::longListTellsWhatItHasRead()
{
    QComboBox *products = MainForm->ComboBox1;
    QAccessibleInterface *reader = QAccessible::queryAccessibleInterface(products);
    QCOMPARE(reader->text(QAccessible::Name), u"品名："_s);
    const int read = products->count();
    QVERIFY(read > 0 && read < kProducts);
    QCOMPARE(spokenEntries(reader->child(0)), items(products));

    products->showPopup();
    QVERIFY(QTest::qWaitForWindowExposed(products->view()));
    QTest::keyClick(products->view(), Qt::Key_End);
    QCOMPARE(products->count(), kProducts);
    QCOMPARE(reader->child(0)->childCount(), kProducts);
    QCOMPARE(reader->child(0)->child(kProducts - 1)->text(QAccessible::Name), u"商品%1"_s.arg(kProducts));
    QTest::keyClick(products->view(), Qt::Key_Return);
    QCOMPARE(reader->text(QAccessible::Value), u"商品%1"_s.arg(kProducts));
    QCOMPARE(selectedEntry(reader->child(0)), u"商品%1"_s.arg(kProducts));
}

// A list one cannot type into has no text box: the list alone.
void TestAccessible::loginListTellsItsUsers()
{
    QStringList spoken;
    QString value, name;
    int children = -1;
    testing::whileModal([&](QWidget *) {
        QAccessibleInterface *reader = QAccessible::queryAccessibleInterface(LoginForm->ComboBox1);
        name = reader->text(QAccessible::Name);
        value = reader->text(QAccessible::Value);
        children = reader->childCount();
        spoken = spokenEntries(reader->child(0));
        LoginForm->SpeedButton2->click();
    });
    TLoginForm::RunLogin();
    QCOMPARE(name, u"用户名:"_s);
    QCOMPARE(value, u"admin"_s);
    QCOMPARE(children, 1);
    QCOMPARE(spoken, (QStringList{u"admin"_s, u"张三"_s}));
}

// The footer is read as the sums it paints, and follows them.
void TestAccessible::footerTellsItsSums()
{
    testing::exec(u"insert into xstj values ('20240301080000', '2024-03-01 08:00:00', 2, 20.5, 19.475, 'admin')"_s);
    testing::exec(u"insert into xstj values ('20240302080000', '2024-03-02 08:00:00', 1.5, 3, 2.7, '张三')"_s);
    QString before, after, painted;
    testing::whileModal([&](QWidget *) {
        ui::GridFooter *footer = XstjForm->DBGridEh1Footer;
        QAccessibleInterface *reader = QAccessible::queryAccessibleInterface(footer);
        QCOMPARE(reader->role(), QAccessible::StaticText);
        before = reader->text(QAccessible::Name);
        painted = u"%1：数量 %2，金额 %3，折后 %4"_s.arg(footer->text(0), footer->text(3), footer->text(4),
                                                      footer->text(5));
        session_->prompts().answer(msg::Answer::Ok);
        testing::clickRow(XstjForm->DBGridEh1, 0);
        testing::click(XstjForm->SpeedButton4); // 删除
        after = reader->text(QAccessible::Name);
    });
    testing::click(MainForm->SpeedButton7);
    QCOMPARE(before, u"合计：数量 3.5，金额 23.5，折后 22.18"_s);
    QCOMPARE(before, painted);
    QCOMPARE(after, u"合计：数量 1.5，金额 3，折后 2.7"_s);
}

QTEST_MAIN(TestAccessible)
#include "tst_accessible.moc"
