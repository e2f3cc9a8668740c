// The users tab of 系统设置 driven with clicks and keys: adding, changing and
// deleting users, and the rights explanation.
#include "AdminTest.h"

using admintest::inModal;
using admintest::inSettings;
using admintest::shown;

class TestUsers : public QObject {
    Q_OBJECT
    admintest::Fixture f_;
    const QList<QStringList> seeded_ = {{u"admin"_s, QString(), u"管理员"_s},
                                        {u"张三"_s, u"3"_s, u"普通用户"_s},
                                        {u"Admin"_s, u"A"_s, u"管理员"_s},
                                        {u"王五"_s, u"5"_s, u"店长"_s}};

private slots:
    void init() { f_.start(); }
    void cleanup() { f_.stop(); }
    void addUser_data();
    void addUser();
    void modifyUser_data();
    void modifyUser();
    void modifyWithNoUser();
    void deleteUser_data();
    void deleteUser();
    void rightsExplanation();
};

void TestUsers::addUser_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("ordinary"); // 普通用户 chosen instead of 管理员
    QTest::addColumn<bool>("keepOpen");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<QStringList>("leftInBoxes"); // empty: the dialog closed

    QTest::newRow("empty name, a password typed") << QString() << u"9"_s << false << true << u"用户名不能为空！"_s
                                                  << QStringList() << QStringList{QString(), u"9"_s};
    QTest::newRow("ordinary user, the dialog stays")
        << u"李四"_s << u"4"_s << true << true << u"添加用户成功！"_s << QStringList{u"李四"_s, u"4"_s, u"普通用户"_s}
        << QStringList{QString(), QString()};
    QTest::newRow("a name that exists, the dialog closes") << u"张三"_s << QString() << false << false
                                                           << u"添加用户成功！"_s
                                                           << QStringList{u"张三"_s, QString(), u"管理员"_s}
                                                           << QStringList();
}

void TestUsers::addUser()
{
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(bool, ordinary);
    QFETCH(bool, keepOpen);
    QFETCH(QString, message);
    QFETCH(QStringList, added);
    QFETCH(QStringList, leftInBoxes);

    testing::typeInto(MainForm->ComboBox6, u"admin"_s);
    QStringList boxes, reopened;
    int gridRows = -1;
    inSettings([&] {
        inModal(XtForm->SpeedButton1, [&](QWidget *) {
            if (ordinary)
                QVERIFY(testing::pickFromList(YhtjForm->ComboBox1, u"普通用户"_s));
            if (!keepOpen)
                testing::click(YhtjForm->CheckBox1);
            testing::typeInto(YhtjForm->Edit1, name);
            testing::typeInto(YhtjForm->Edit2, password);
            testing::click(YhtjForm->SpeedButton1);
            if (YhtjForm->isVisible())
                boxes = QStringList{YhtjForm->Edit1->text(), YhtjForm->Edit2->text()};
        });
        gridRows = XtForm->DBGridEh1->model()->rowCount();
        QCOMPARE(MainForm->ComboBox6->currentText(), added.isEmpty() ? u"admin"_s : QString());
        QCOMPARE(admintest::items(MainForm->ComboBox6).count(added.value(0, u"admin"_s)), 1);
        // Opened again: empty boxes, the rights choice and check box as left.
        inModal(XtForm->SpeedButton1, [&](QWidget *) {
            reopened = QStringList{YhtjForm->Edit1->text(), YhtjForm->Edit2->text(),
                                   YhtjForm->ComboBox1->currentText(),
                                   YhtjForm->CheckBox1->isChecked() ? u"keep"_s : u"close"_s};
        });
    });

    QCOMPARE(shown(*f_.prompts), QStringList{u"YhtjForm none ok "_s + message});
    QCOMPARE(admintest::users(), added.isEmpty() ? seeded_ : seeded_ + QList<QStringList>{added});
    QCOMPARE(gridRows, int(admintest::users().size()));
    QCOMPARE(boxes, leftInBoxes);
    QCOMPARE(reopened, (QStringList{QString(), QString(), ordinary ? u"普通用户"_s : u"管理员"_s,
                                    keepOpen ? u"keep"_s : u"close"_s}));
}

void TestUsers::modifyUser_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("doubleClick");
    QTest::addColumn<QString>("shownRights");
    QTest::addColumn<QString>("oldPassword");
    QTest::addColumn<QString>("newPassword");
    QTest::addColumn<QString>("pick"); // empty: rights left as shown
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("stored");

    const QString done = u"YhxgForm none ok 修改用户信息成功！"_s;
    QTest::newRow("张三 made administrator with his password")
        << 1 << false << u"普通用户"_s << u"3"_s << u"33"_s << u"管理员"_s << done
        << QStringList{u"张三"_s, u"33"_s, u"管理员"_s};
    QTest::newRow("a wrong old password changes nothing")
        << 1 << false << u"普通用户"_s << u"4"_s << u"44"_s << u"管理员"_s << u"YhxgForm error ok 旧密码输入错误！"_s
        << QStringList{u"张三"_s, u"3"_s, u"普通用户"_s};
    QTest::newRow("admin by double-click: empty old password") << 0 << true << u"管理员"_s << QString() << u"pw"_s
                                                               << QString() << done
                                                               << QStringList{u"admin"_s, u"pw"_s, u"管理员"_s};
    QTest::newRow("other rights open and save as 普通用户, empty new password")
        << 3 << true << u"普通用户"_s << u"5"_s << QString() << QString() << done
        << QStringList{u"王五"_s, QString(), u"普通用户"_s};
}

void TestUsers::modifyUser()
{
    QFETCH(int, row);
    QFETCH(bool, doubleClick);
    QFETCH(QString, shownRights);
    QFETCH(QString, oldPassword);
    QFETCH(QString, newPassword);
    QFETCH(QString, pick);
    QFETCH(QString, message);
    QFETCH(QStringList, stored);

    ui::ListGrid *grid = XtForm->DBGridEh1;
    bool stayedOpen = false;
    inSettings([&] {
        admintest::clickRow(grid, row);
        testing::whileModal([&](QWidget *) {
            QCOMPARE(YhxgForm->Edit1->text(), seeded_[row][0]);
            QVERIFY(YhxgForm->Edit1->isReadOnly());
            QCOMPARE(YhxgForm->ComboBox1->currentText(), shownRights);
            QTRY_COMPARE(QApplication::focusWidget(), YhxgForm->Edit2);
            testing::typeInto(YhxgForm->Edit2, oldPassword);
            testing::typeInto(YhxgForm->Edit3, newPassword);
            if (!pick.isEmpty())
                QVERIFY(testing::pickFromList(YhxgForm->ComboBox1, pick));
            testing::click(YhxgForm->SpeedButton1);
            stayedOpen = YhxgForm->isVisible() && YhxgForm->Edit2->text().isEmpty() && YhxgForm->Edit3->text().isEmpty();
        });
        if (doubleClick)
            testing::doubleClickAt(grid->viewport(), admintest::rowPoint(grid, row));
        else
            testing::click(XtForm->SpeedButton2);
        QCOMPARE(grid->model()->index(row, 2).data().toString(), stored[2]);
    });
    QCOMPARE(shown(*f_.prompts), QStringList{message});
    QCOMPARE(stayedOpen, message.contains(u"error"_s));
    QCOMPARE(admintest::users()[row], stored);
}

void TestUsers::modifyWithNoUser()
{
    f_.program.reset();
    testing::exec(u"delete from username"_s);
    f_.program.emplace();
    inSettings([] {
        testing::doubleClickAt(XtForm->DBGridEh1->viewport(), {40, 60});
        testing::click(XtForm->SpeedButton2);
        QVERIFY(!YhxgForm->isVisible());
    });
    QCOMPARE(shown(*f_.prompts), QStringList(2, u"XtForm none ok 用户信息为空！"_s));
    QVERIFY(admintest::users().isEmpty());
}

void TestUsers::deleteUser_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<int>("deleted"); // -1: none

    QTest::newRow("admin: refused after the question") << 0 << true << u"XtForm error ok 管理员不能被删除！"_s << -1;
    QTest::newRow("Admin is no built-in user") << 2 << true << QString() << 2;
    QTest::newRow("Cancel deletes nothing") << 1 << false << QString() << -1;
}

void TestUsers::deleteUser()
{
    QFETCH(int, row);
    QFETCH(bool, confirm);
    QFETCH(QString, refusal);
    QFETCH(int, deleted);

    f_.prompts->answer(confirm ? msg::Answer::Ok : msg::Answer::Cancel);
    int gridRows = -1;
    inSettings([&] {
        admintest::clickRow(XtForm->DBGridEh1, row);
        testing::click(XtForm->SpeedButton3);
        gridRows = XtForm->DBGridEh1->model()->rowCount();
    });
    QStringList expected{u"XtForm warning okcancel 确定要删除选中的用户？"_s};
    if (!refusal.isEmpty())
        expected << refusal;
    QCOMPARE(shown(*f_.prompts), expected);
    QList<QStringList> remaining = seeded_;
    if (deleted >= 0)
        remaining.removeAt(deleted);
    QCOMPARE(admintest::users(), remaining);
    QCOMPARE(gridRows, int(remaining.size()));
}

void TestUsers::rightsExplanation()
{
    QStringList lines;
    inSettings([&] {
        inModal(XtForm->SpeedButton8, [&](QWidget *modal) {
            QCOMPARE(modal, QxsmForm);
            for (QLabel *l : {QxsmForm->Label1, QxsmForm->Label2, QxsmForm->Label3, QxsmForm->Label4, QxsmForm->Label5})
                lines << l->text();
            testing::click(QxsmForm->SpeedButton1);
            QVERIFY(!QxsmForm->isVisible());
        });
    });
    QCOMPARE(lines, (QStringList{u"普通用户与管理员(admin)的权限区别："_s, u"1.不可添加、删除用户(收银员)。"_s,
                                 u"2.不可设置打印内容。"_s, u"3.不可更改单号。"_s, u"4.不可删除销售信息。"_s}));
}

QTEST_MAIN(TestUsers)
#include "tst_users.moc"
