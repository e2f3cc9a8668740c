// The print content tab, the rights as each rights value meets them, and what
// closing 系统设置 does to the main window.
#include "AdminTest.h"

using admintest::inModal;
using admintest::inSettings;
using admintest::shown;

class TestPrintContent : public QObject {
    Q_OBJECT
    admintest::Fixture f_;

private slots:
    void init() { f_.start(); }
    void cleanup() { f_.stop(); }
    void save_data();
    void save();
    void rights_data();
    void rights();
    void closingReloadsTheMainLists();
};

void TestPrintContent::save_data()
{
    QTest::addColumn<bool>("withRow"); // dynr holds its row
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("stored"); // empty: nothing stored

    const QString twenty = u"一二三四五六七八九十甲乙丙丁戊己庚辛壬癸"_s;
    const QString saved = u"XtForm warning ok 设置打印内容保存成功！"_s;
    QTest::newRow("20 characters and three lines") << true << twenty << QStringList{u"谢谢惠顾"_s, u"欢迎再来"_s, u"电话 123"_s}
                                                   << saved << QStringList{twenty, u"谢谢惠顾\r\n欢迎再来\r\n电话 123"_s};
    QTest::newRow("no row yet: one is made") << false << u"小店"_s << QStringList() << saved
                                             << QStringList{u"小店"_s, QString()};
    QTest::newRow("a name of 256 characters") << true << QString(256, u'店') << QStringList()
                                              << u"display error ok “店名”最多255个字符，这里有256个字符."_s
                                              << QStringList();
    QTest::newRow("a remark of 256 characters with its line break")
        << true << u"小店"_s << QStringList{QString(127, u'谢'), QString(127, u'谢')}
        << u"display error ok “备注”最多255个字符，这里有256个字符."_s << QStringList();
}

void TestPrintContent::save()
{
    QFETCH(bool, withRow);
    QFETCH(QString, name);
    QFETCH(QStringList, lines);
    QFETCH(QString, message);
    QFETCH(QStringList, stored);

    if (!withRow) {
        f_.program.reset();
        testing::exec(u"delete from dynr"_s);
        f_.program.emplace();
        MainForm->show();
    }
    inSettings([&] {
        XtForm->PageControl1->setCurrentWidget(XtForm->TabSheet3);
        admintest::retype(XtForm->Edit1, name);
        admintest::retype(XtForm->Memo1, lines.value(0));
        for (int i = 1; i < lines.size(); ++i) {
            QTest::keyClick(XtForm->Memo1, Qt::Key_Return);
            testing::typeInto(XtForm->Memo1, lines[i]);
        }
        testing::click(XtForm->SpeedButton7);
    });
    QCOMPARE(shown(*f_.prompts), QStringList{message});
    const QStringList before = withRow ? QStringList{u"老店"_s, u"谢谢"_s} : QStringList{QString(), QString()};
    const QStringList now = stored.isEmpty() ? before : stored;
    QCOMPARE(testing::rows(u"select 店名, 备注 from dynr"_s), stored.isEmpty() && !withRow ? QList<QStringList>()
                                                                                         : QList<QStringList>{now});
    QCOMPARE(MainForm->Edit5->text(), now[0]);
    QCOMPARE(MainForm->Memo1->toPlainText().split(u'\n'), now[1].split(u"\r\n"_s));
}

void TestPrintContent::rights_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("row"); // the user's own row in the users list
    QTest::addColumn<bool>("admin");
    QTest::addColumn<QString>("rightsAfter"); // of the user's row after saving his new password

    QTest::newRow("管理员 gives himself 普通用户") << u"admin"_s << QString() << 0 << true << u"普通用户"_s;
    QTest::newRow("普通用户 keeps his rights") << u"张三"_s << u"3"_s << 1 << false << u"普通用户"_s;
    QTest::newRow("another value is no administrator") << u"王五"_s << u"5"_s << 3 << false << u"店长"_s;
}

void TestPrintContent::rights()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(int, row);
    QFETCH(bool, admin);
    QFETCH(QString, rightsAfter);

    QVERIFY(testing::loginAs(user, password));
    inSettings([&] {
        QCOMPARE(XtForm->SpeedButton1->isEnabled(), admin);
        QCOMPARE(XtForm->SpeedButton3->isEnabled(), admin);
        XtForm->PageControl1->setCurrentWidget(XtForm->TabSheet3);
        QCOMPARE(XtForm->Memo1->isReadOnly(), !admin);
        testing::typeInto(XtForm->Edit1, u"新"_s);
        testing::click(XtForm->SpeedButton7);
        XtForm->PageControl1->setCurrentWidget(XtForm->TabSheet1);
        admintest::clickRow(XtForm->DBGridEh1, row);
        inModal(XtForm->SpeedButton2, [&](QWidget *) {
            QCOMPARE(YhxgForm->ComboBox1->isEnabled(), admin);
            if (YhxgForm->ComboBox1->isEnabled())
                QVERIFY(testing::pickFromList(YhxgForm->ComboBox1, rightsAfter));
            testing::typeInto(YhxgForm->Edit2, password);
            testing::typeInto(YhxgForm->Edit3, u"new"_s);
            testing::click(YhxgForm->SpeedButton1);
        });
    });
    QCOMPARE(shown(*f_.prompts), (QStringList{admin ? u"XtForm warning ok 设置打印内容保存成功！"_s
                                                    : u"XtForm none ok 您没有权限设置打印内容！"_s,
                                              u"YhxgForm none ok 修改用户信息成功！"_s}));
    QCOMPARE(testing::scalar(u"select 店名 from dynr"_s).toString(), admin ? u"老店新"_s : u"老店"_s);
    QCOMPARE(admintest::users()[row].mid(1), (QStringList{u"new"_s, rightsAfter}));
}

void TestPrintContent::closingReloadsTheMainLists()
{
    testing::exec(u"insert into spxx (品名, 单价) values ('新品', 1)"_s);
    testing::exec(u"insert into username (用户名, 密码, 权限) values ('新人', '', '普通用户')"_s);
    testing::typeInto(MainForm->ComboBox6, u"admin"_s);
    testing::typeInto(MainForm->ComboBox1, u"可乐"_s);
    inSettings([] {
        XtForm->PageControl1->setCurrentWidget(XtForm->TabSheet3);
        testing::typeInto(XtForm->Edit1, u"未存"_s);
    });
    QVERIFY(admintest::items(MainForm->ComboBox1).contains(u"新品"_s));
    QVERIFY(admintest::items(MainForm->ComboBox6).contains(u"新人"_s));
    QCOMPARE(MainForm->ComboBox1->currentText() + MainForm->ComboBox6->currentText(), QString());
    // Opened again: the users tab in front, the unsaved text still there.
    QWidget *front = nullptr;
    inSettings([&] { front = XtForm->PageControl1->currentWidget(); });
    QCOMPARE(front, XtForm->TabSheet1);
    QVERIFY(XtForm->Edit1->text().endsWith(u"未存"_s));
    QCOMPARE(testing::scalar(u"select 店名 from dynr"_s).toString(), u"老店"_s);
}

QTEST_MAIN(TestPrintContent)
#include "tst_printcontent.moc"
