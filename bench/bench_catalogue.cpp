// Start-up and 添加 with a large product catalogue, with and without
// assistive technology active. Both fill the product list (start-up once,
// 添加 again after every line), so they show what that fill costs; beside
// them the fill of the list alone, through the pick-list model and, for
// comparison, one addItem per name as the list used to be filled.
//
//   cmake -S . -B build-bench -DVELMORA_BENCH=ON && cmake --build build-bench -j2 --target bench_catalogue
//   build-bench/bench/bench_catalogue [product counts...]      (default 0 20000 100000)
//
// "AT on" is QAccessible::setActive(true), as when a screen reader is
// running: every change of a view is then reported as an accessibility event.
#include "app/Forms.h"
#include "store/Connection.h"
#include "store/Query.h"
#include "ticket/MainUnit.h"
#include "ui/MessageBox.h"
#include "ui/PickList.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

void buildCatalogue(int products, const QString &path)
{
    QFile::copy(QStringLiteral(VELMORA_DELIVERED_DB), path);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("build"));
        db.setDatabaseName(path);
        db.open();
        QSqlQuery q(db);
        q.exec(QStringLiteral("PRAGMA synchronous=OFF"));
        q.prepare(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?) "
                                 "INSERT INTO spxx (品名, 单价) SELECT '商品' || printf('%06d', i), i % 100 + 0.5 FROM n"));
        q.addBindValue(products);
        if (products > 0)
            q.exec();
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("build"));
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// The list filled the way it used to be: one item at a time.
void fillOneByOne(QComboBox *box, Query &query)
{
    box->clear();
    query.close();
    query.setSql(QStringLiteral("Select Distinct 品名 From spxx"));
    query.open();
    for (query.first(); !query.eof(); query.next())
        box->addItem(query.fieldText(QStringLiteral("品名")));
}

struct Figures {
    double startup = 0, add = 0, modelFill = 0, oneByOne = 0;
};

Figures measure(int rounds)
{
    Figures f;
    std::vector<double> startup, add, modelFill, oneByOne;
    for (int round = 0; round <= rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        app::createForms();
        MainForm->show();
        QApplication::processEvents();
        const double up = timer.nsecsElapsed() / 1e6;
        std::vector<double> adds;
        for (int line = 0; line < 3; ++line) {
            MainForm->ComboBox1->setEditText(QStringLiteral("苹果"));
            MainForm->Edit3->setText(QStringLiteral("3.5"));
            MainForm->Edit4->setText(QStringLiteral("2"));
            MainForm->Edit11->setText(QStringLiteral("7"));
            MainForm->Edit12->setText(QStringLiteral("7"));
            timer.restart();
            MainForm->SpeedButton2Click();
            QApplication::processEvents();
            adds.push_back(timer.nsecsElapsed() / 1e6);
        }
        app::destroyForms();

        // The list alone, in a box shown in a window as the product box is.
        QWidget window;
        auto *box = new QComboBox(&window);
        box->setEditable(true);
        box->view(); // the list's view exists, as in the main window
        window.show();
        Connection connection;
        Query query(connection, QStringLiteral("select * from spxx"));
        timer.restart();
        ui::fillPickList(box, query, QStringLiteral("Select Distinct 品名 From spxx"));
        QApplication::processEvents();
        const double model = timer.nsecsElapsed() / 1e6;
        timer.restart();
        fillOneByOne(box, query);
        QApplication::processEvents();
        const double single = timer.nsecsElapsed() / 1e6;

        if (round == 0)
            continue; // warm-up: the first round reads the file from disk
        startup.push_back(up);
        add.insert(add.end(), adds.begin(), adds.end());
        modelFill.push_back(model);
        oneByOne.push_back(single);
    }
    f.startup = median(startup);
    f.add = median(add);
    f.modelFill = median(modelFill);
    f.oneByOne = median(oneByOne);
    return f;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    msg::setHook([](const msg::Prompt &) { return msg::Answer::Ok; });

    std::vector<int> counts;
    for (int i = 1; i < argc; ++i)
        counts.push_back(QString::fromLocal8Bit(argv[i]).toInt());
    if (counts.empty())
        counts = {0, 20000, 100000};

    std::printf("%-9s %-6s %14s %12s %16s %18s\n", "products", "AT", "start-up ms", "添加 ms", "list fill ms",
                "one by one ms");
    for (const int n : counts) {
        QTemporaryDir work;
        buildCatalogue(n, work.filePath(QStringLiteral("data.mdb")));
        QDir::setCurrent(work.path());
        for (const bool at : {false, true}) {
            QAccessible::setActive(at);
            // One addItem per name with AT on takes minutes on the largest
            // catalogue; fewer rounds there.
            const Figures f = measure(at && n > 20000 ? 1 : 3);
            std::printf("%-9d %-6s %14.1f %12.1f %16.1f %18.1f\n", n, at ? "on" : "off", f.startup, f.add,
                        f.modelFill, f.oneByOne);
            std::fflush(stdout);
        }
        QAccessible::setActive(false);
        QDir::setCurrent(QDir::tempPath());
    }
    return 0;
}
