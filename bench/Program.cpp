// The program measured as a cashier uses it: started as it starts (its
// windows, the login gate, the message loop), driven with mouse clicks and
// key presses on its own controls, each figure timed from the input that
// triggers it until what the cashier waits for is shown.
#include "Measure.h"
#include "Seed.h"
#include "support/FakeEscPos.h"

#include "app/Application.h"
#include "app/Backups.h"
#include "app/LoginUnit.h"
#include "base/AppError.h"
#include "history/RjUnit.h"
#include "history/XscxUnit.h"
#include "history/XshzUnit.h"
#include "history/XsmxUnit.h"
#include "history/XstjUnit.h"
#include "print/Printer.h"
#include "report/Output.h"
#include "store/Archive.h"
#include "store/Backup.h"
#include "store/Clock.h"
#include "store/Connection.h"
#include "ticket/MainUnit.h"
#include "ui/FileDialog.h"
#include "ui/ListGrid.h"
#include "ui/MessageBox.h"

#include <QAccessible>
#include <QComboBox>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QAccessibleInterface>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QPointer>
#include <QSqlQuery>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace bench {

namespace {

QStringList prompts;

// Every message the program shows is answered OK and kept; a step that shows
// one it should not has measured something else than it claims.
void answerPrompts()
{
    msg::setHook([](const msg::Prompt &p) {
        prompts << p.text;
        return msg::Answer::Ok;
    });
}

void expectNoPrompt(const char *step)
{
    if (prompts.isEmpty())
        return;
    std::fprintf(stderr, "%s showed: %s\n", step, qPrintable(prompts.join(QStringLiteral(" / "))));
    std::exit(3);
}

// Runs `steps` inside the next modal window once it is shown.
void whenModalShown(std::function<void(QWidget *)> steps)
{
    QWidget *before = QApplication::activeModalWidget();
    auto *poll = new QTimer(qApp);
    poll->setInterval(0);
    QObject::connect(poll, &QTimer::timeout, qApp, [poll, before, steps] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || modal == before || !modal->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        QPointer<QWidget> guard = modal;
        steps(modal);
        if (guard && guard->isVisible())
            static_cast<QDialog *>(guard.data())->reject();
    });
    poll->start();
}

// A screen reader, where the catalogue is measured with one: the offscreen
// platform has no accessibility bridge, so the reader is played here. It
// walks what it is told of the window as a reader does when the window shows
// or changes: every control's role, name, value and state, and a list's
// entries as far as a list shows them.
bool screenReader = false;

void readAloud(QAccessibleInterface *node, int depth = 0)
{
    if (!node || !node->isValid() || depth > 12)
        return;
    QString heard = node->text(QAccessible::Name) + node->text(QAccessible::Value);
    (void)node->state();
    const bool list = node->role() == QAccessible::List;
    const int children = node->childCount();
    for (int i = 0; i < children && (!list || i < 30); ++i)
        readAloud(node->child(i), depth + 1);
    (void)heard;
}

// Painted as the screen shows it: every control of the window, the grids'
// rows and their footers (whose sums are computed when first painted); and
// read, when a screen reader runs.
void paint(QWidget *window)
{
    window->grab();
    if (screenReader)
        readAloud(QAccessible::queryAccessibleInterface(window));
}

void click(QWidget *w)
{
    QTest::mouseClick(w, Qt::LeftButton);
}

void typeInto(QWidget *box, const QString &text)
{
    QWidget *target = box;
    if (auto *combo = qobject_cast<QComboBox *>(box); combo && combo->lineEdit())
        target = combo->lineEdit();
    target->setFocus();
    QTest::keyClick(target, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(target, Qt::Key_Backspace);
    // Characters without a key of their own (Chinese names) arrive as key
    // events carrying the text, as an input method sends them.
    for (QChar c : text) {
        if (c.unicode() > 0 && c.unicode() < 128)
            QTest::keyClick(target, c.toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, target, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

// The program's start: windows, the login window, and then (after `atLogin`
// logged in) the message loop, in which `inLoop` runs before the main window
// is closed. Returns the milliseconds until the login window was shown.
double runProgram(const std::function<void(TLoginForm *)> &atLogin, const std::function<void()> &inLoop = {})
{
    QElapsedTimer clock;
    double shown = -1;
    whenModalShown([&](QWidget *modal) {
        auto *login = qobject_cast<TLoginForm *>(modal);
        if (!login) {
            std::fprintf(stderr, "the first window shown was %s, not the login\n", qPrintable(modal->objectName()));
            std::exit(3);
        }
        paint(login);
        shown = ms(clock);
        atLogin(login);
        if (login->result() != QDialog::Accepted)
            return;
        // Runs once the login's loop is over and the program's own runs.
        auto *poll = new QTimer(qApp);
        poll->setInterval(0);
        QObject::connect(poll, &QTimer::timeout, qApp, [poll, inLoop] {
            if (QApplication::activeModalWidget() || !MainForm || !MainForm->isVisible())
                return;
            poll->stop();
            poll->deleteLater();
            // A step that fails ends the measurement, saying why, rather than
            // leaving the program waiting for a cashier.
            try {
                if (inLoop)
                    inLoop();
            } catch (const AppError &e) {
                std::fprintf(stderr, "a measured step failed: %s\n", qPrintable(e.message()));
                std::exit(3);
            }
            MainForm->close();
        });
        poll->start();
    });
    clock.start();
    if (app::run() != 0) {
        std::fprintf(stderr, "the program did not start: %s\n", qPrintable(prompts.join(QStringLiteral(" / "))));
        std::exit(3);
    }
    return shown;
}

void logIn(TLoginForm *login)
{
    // admin, with the empty password of a delivered database.
    login->ComboBox1->setCurrentIndex(login->ComboBox1->findText(QStringLiteral("admin")));
    click(login->SpeedButton1);
}

void closeLogin(TLoginForm *login)
{
    click(login->SpeedButton2); // 关闭
}

// A receipt goes to a PDF file, as it does on its way to CUPS.
class PdfPrinter : public print::Printer {
public:
    explicit PdfPrinter(QString file) : file_(std::move(file)) {}
    void print(report::Layout &layout, const report::Data &data, const QString &title) override
    {
        report::writePdf(file_, layout, data, title);
    }

private:
    QString file_;
};

const QString kProducts[] = {QStringLiteral("可口可乐"), QStringLiteral("康师傅红烧牛肉面"),
                             QStringLiteral("蒙牛纯牛奶 整箱"), QStringLiteral("苹果(斤)")};

// Types one line into the main window; 添加 is the caller's.
void typeLine(int i)
{
    TMainForm *f = MainForm;
    typeInto(f->ComboBox1, kProducts[i % 4]);
    typeInto(f->Edit3, QStringLiteral("%1.5").arg(2 + i % 7));
    typeInto(f->Edit4, QStringLiteral("%1").arg(1 + i % 3));
}

double timedAdd(int i)
{
    typeLine(i);
    QElapsedTimer t;
    t.start();
    click(MainForm->SpeedButton2);
    if (screenReader)
        readAloud(QAccessible::queryAccessibleInterface(MainForm));
    const double elapsed = ms(t);
    expectNoPrompt("添加");
    return elapsed;
}

void fillTicket(int lines)
{
    for (int i = 0; i < lines; ++i) {
        typeLine(i);
        click(MainForm->SpeedButton2);
    }
    expectNoPrompt("添加");
    if (MainForm->ADOQuery2.recordCount() != lines) {
        std::fprintf(stderr, "the ticket holds %d lines, not %d\n", MainForm->ADOQuery2.recordCount(), lines);
        std::exit(3);
    }
}

// A new ticket number for each ticket archived, as the checkout gives one:
// a second no ticket has. Checkouts made within one second take the seconds
// after it, and a number already used is refused.
void nextTicketNumber()
{
    static int n = 0;
    QString number;
    for (;;) {
        number = appclock::ticketNumber(appclock::now().addSecs(++n));
        QSqlQuery q = MainForm->ADOConnection1.run(QStringLiteral("SELECT count(*) FROM xstj WHERE 单号 = ?"), {number});
        if (q.next() && q.value(0).toInt() == 0)
            break;
    }
    MainForm->Edit1->setText(number);
}

constexpr int kCheckoutLines = 20;

// A ticket of 20 lines, then 打印(F5): timed from the click until the
// checkout returned.
double timedCheckout()
{
    fillTicket(kCheckoutLines);
    QElapsedTimer t;
    t.start();
    click(MainForm->SpeedButton6);
    const double elapsed = ms(t);
    expectNoPrompt("打印(F5)");
    if (!MainForm->ADOQuery2.isEmpty()) {
        std::fprintf(stderr, "the checkout left lines behind\n");
        std::exit(3);
    }
    return elapsed;
}

void measureEntry(const Job &job)
{
    // 添加 of one line, each on the ticket as it grows.
    int line = 0;
    repeat("add", job.runs * 2, [&] { return timedAdd(line++); });

    // A key release in 单价: the amounts computed again.
    TMainForm *f = MainForm;
    typeLine(0);
    f->Edit3->setFocus();
    repeat("keyup", job.runs * 20, [&] {
        QTest::keyPress(f->Edit3, Qt::Key_5);
        QElapsedTimer t;
        t.start();
        QTest::keyRelease(f->Edit3, Qt::Key_5);
        const double elapsed = ms(t) * 1000; // µs
        QTest::keyClick(f->Edit3, Qt::Key_Backspace);
        return elapsed;
    });
    if (f->Edit11->text().isEmpty()) {
        std::fprintf(stderr, "a key release in 单价 computed no amount\n");
        std::exit(3);
    }
    f->Edit3->clear();

    // A checkout of 20 lines, its receipt printed to a PDF file.
    f->Edit1->setFocus();
    print::setPrinter(std::make_unique<PdfPrinter>(QDir(job.folder).filePath(QStringLiteral("receipt.pdf"))));
    click(f->SpeedButton6); // the lines of the 添加 above go first
    repeat("checkout", job.runs, timedCheckout);
    print::setPrinter({});
    // The same to an ESC/POS printer on the network, named in velmora.ini
    // as a till is set up, drawer and all: a fake printer in this process
    // that reads and answers at once, so what is timed is the program's own
    // part (the receipt drawn at 203 dpi, the conversation) until the
    // printer said the receipt printed.
    {
        testing::FakeEscPosPrinter printer;
        // Beside what the file holds already (a till's [server]), and as it
        // was afterwards.
        const QString ini = QDir(job.folder).filePath(QStringLiteral("velmora.ini"));
        QFile file(ini);
        const QByteArray before = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        file.close();
        if (printer.address().isEmpty() || !file.open(QIODevice::WriteOnly)) {
            std::fprintf(stderr, "cannot set up the ESC/POS printer\n");
            std::exit(3);
        }
        file.write(before + QStringLiteral("[printer]\nkind=escpos\naddress=%1\ndrawer=true\n").arg(printer.address()).toUtf8());
        file.close();
        repeat("checkout-escpos", job.runs, timedCheckout);
        if (before.isEmpty()) {
            QFile::remove(ini);
        } else if (file.open(QIODevice::WriteOnly)) {
            file.write(before);
            file.close();
        }
        const testing::EscPosReader read = printer.reader();
        if (read.receipts.size() != job.runs + 1 || !read.faults.isEmpty()
            || read.commands.count(QStringLiteral("ESC p 0 25 250")) != job.runs + 1) {
            std::fprintf(stderr, "the ESC/POS printer got %d receipts, %d drawer pulses: %s\n",
                         static_cast<int>(read.receipts.size()),
                         static_cast<int>(read.commands.count(QStringLiteral("ESC p 0 25 250"))),
                         qPrintable(read.faults.join(QStringLiteral(" / "))));
            std::exit(3);
        }
    }
    // The same through the driver's cups-pdf queue (this process's default
    // printer): the checkout returns once the receipt's job completed.
    if (qEnvironmentVariableIsSet("VELMORA_BENCH_CUPS"))
        repeat("checkout-cups", job.runs, timedCheckout);

    // The archive step alone, on the main window's own queries.
    // The ticket's lines archived and marked as printing, then the mark
    // cleared: the two commits a checkout makes around its receipt.
    const auto archiveLines = [&] {
        nextTicketNumber();
        const archive::Head head{f->Edit2->text(), f->ComboBox6->currentText(), f->Edit9->text(),
                                 f->Edit10->text(), f->ComboBox4->currentText(), f->Edit6->text()};
        const archive::Numbering numbering{f->Edit1->text(), appclock::now()};
        QElapsedTimer t;
        t.start();
        const archive::Sale sale =
            archive::archiveForPrinting(f->ADOConnection1, f->ADOQuery2, f->ADOQuery4, f->ADOQuery5, head, numbering);
        archive::markPrinted(f->ADOConnection1, sale.number);
        return ms(t);
    };
    const auto archiveStep = [&] {
        fillTicket(kCheckoutLines);
        return archiveLines();
    };
    repeat("archive", job.runs * 3, archiveStep);

    // 添加 and the archive step again while backups run beside them, one
    // after another (each begun as the last ended), into 备份 of the folder
    // measured: what a backup takes from the cashier. (A till on a server
    // makes none.)
    if (!Connection::onServer()) {
        const QString database = f->ADOConnection1.filePath();
        backup::Runner runner(database, QDir(job.folder).filePath(QStringLiteral("velmora.ini")));
        bool going = true;
        int ended = 0, during = 0, timed = 0;
        QObject::connect(&runner, &backup::Runner::finished, [&] {
            ++ended;
            if (going)
                runner.start();
        });
        const auto whileBackingUp = [&](const std::function<double()> &step) {
            return [&, step] {
                QCoreApplication::processEvents(); // a backup that ended is begun again
                const bool before = runner.running();
                const double elapsed = step();
                during += before && runner.running();
                ++timed;
                return elapsed;
            };
        };
        runner.start();
        int added = 0;
        repeat("add-backup", job.runs * 2, whileBackingUp([&] { return timedAdd(added++); }));
        archiveLines(); // the ticket those lines made
        repeat("archive-backup", job.runs * 3, whileBackingUp(archiveStep));
        going = false;
        runner.stop();
        std::fprintf(stderr, "    %d of %d steps timed while a backup ran; %d backups ended meanwhile\n", during,
                     timed, ended);
        // A backup alone, as the program takes one when it closes: the copy,
        // its check and the rename.
        repeat("backup", 1, [&] {
            QElapsedTimer t;
            t.start();
            runner.takeNow();
            return ms(t) / 1000;
        });
        QDir(backup::defaultFolder(database)).removeRecursively();
    }
}

QPoint rowCentre(ui::ListGrid *grid, int row)
{
    return QPoint(grid->columnViewportPosition(1) + 5, grid->rowViewportPosition(row) + grid->rowHeight(row) / 2);
}

// In the query window: types a text into one of its boxes and clicks 查询;
// timed until the narrowed list and its footer are shown.
double timedQuery(QComboBox *TXscxForm::*box, const QString &text)
{
    typeInto(XscxForm->*box, text);
    QElapsedTimer t;
    t.start();
    click(XscxForm->SpeedButton1);
    paint(XstjForm);
    const double elapsed = ms(t);
    expectNoPrompt("查询");
    if (XscxForm->isVisible()) {
        std::fprintf(stderr, "the query window stayed open\n");
        std::exit(3);
    }
    return elapsed;
}

// Opens 查询 from the statistics window and runs `inside` in it.
double timedQueryWindow(const std::function<void()> &inside)
{
    QElapsedTimer t;
    double shown = -1;
    whenModalShown([&](QWidget *w) {
        paint(w);
        shown = ms(t);
        inside();
    });
    t.start();
    click(XstjForm->SpeedButton1);
    return shown;
}

// Types a day into a date box of 统计 as a cashier does: its year section
// chosen, then the digits.
void typeDay(QDateEdit *box, const QDate &day)
{
    box->setFocus();
    box->setSelectedSection(QDateTimeEdit::YearSection);
    for (QChar c : day.toString(QStringLiteral("yyyyMMdd")))
        QTest::keyClick(box, c.toLatin1());
}

// Chooses an entry of a drop-down list with the keyboard (Home, then Down),
// as a cashier steps through it.
void chooseEntry(QComboBox *box, const QString &text)
{
    const int at = box->findText(text);
    if (at < 0) {
        std::fprintf(stderr, "the list has no %s\n", qPrintable(text));
        std::exit(3);
    }
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Home);
    for (int i = 0; i < at; ++i)
        QTest::keyClick(box, Qt::Key_Down);
}

// In 统计: the seeded month typed into the two date boxes, 筛选 clicked
// (every cashier, then one), the 时间 title clicked, and 汇总; each timed
// from its click until what it shows is painted.
void measureRange(qint64 tickets)
{
    typeDay(XstjForm->DateTimePicker1, rangeFirstDay());
    typeDay(XstjForm->DateTimePicker2, rangeLastDay());
    chooseEntry(XstjForm->ComboBox1, TXstjForm::everyCashier());
    QElapsedTimer step;
    step.start();
    click(XstjForm->SpeedButton7);
    paint(XstjForm);
    sample("range", ms(step));
    const int month = XstjForm->DBGridEh1->model()->rowCount();
    if (tickets >= 100000 && month < 20000) {
        std::fprintf(stderr, "the month lists %d tickets\n", month);
        std::exit(3);
    }

    QHeaderView *titles = XstjForm->DBGridEh1->horizontalHeader();
    const QPoint time(titles->sectionViewportPosition(2) + titles->sectionSize(2) / 2, titles->height() / 2);
    step.restart();
    QTest::mouseClick(titles->viewport(), Qt::LeftButton, Qt::NoModifier, time);
    paint(XstjForm);
    sample("rangenewest", ms(step));
    QTest::mouseClick(titles->viewport(), Qt::LeftButton, Qt::NoModifier, time); // oldest first again

    chooseEntry(XstjForm->ComboBox1, queriedCashier());
    step.restart();
    click(XstjForm->SpeedButton7);
    paint(XstjForm);
    sample("rangecashier", ms(step));
    if (tickets >= 100000 && XstjForm->DBGridEh1->model()->rowCount() * 3 > month) {
        std::fprintf(stderr, "one cashier's month lists %d tickets\n", XstjForm->DBGridEh1->model()->rowCount());
        std::exit(3);
    }

    chooseEntry(XstjForm->ComboBox1, TXstjForm::everyCashier());
    int days = -1;
    whenModalShown([&](QWidget *w) {
        paint(w);
        sample("summary", ms(step));
        days = XshzForm->StringGrid1->rowCount() - 1;
    });
    step.restart();
    click(XstjForm->SpeedButton9);
    if (days != rangeFirstDay().daysTo(rangeLastDay()) + 1) {
        std::fprintf(stderr, "汇总 shows %d days\n", days);
        std::exit(3);
    }
    expectNoPrompt("筛选");
}

void measureHistory(const Job &job, qint64 tickets)
{
    repeat("statistics", job.runs, [&] {
        QElapsedTimer t;
        double shown = -1;
        whenModalShown([&](QWidget *w) {
            paint(w);
            shown = ms(t);
            // Every seeded ticket, and those the checkouts above archived.
            if (XstjForm->DBGridEh1->model()->rowCount() < tickets) {
                std::fprintf(stderr, "统计 lists %d tickets\n", XstjForm->DBGridEh1->model()->rowCount());
                std::exit(3);
            }
            QElapsedTimer step;
            step.start();
            click(XstjForm->SpeedButton3); // 刷新
            paint(XstjForm);
            sample("refresh", ms(step));

            sample("querywindow", timedQueryWindow([] {
                       sample("bynumber", timedQuery(&TXscxForm::ComboBox1, queriedDay()));
                   }));
            sample("querywindow", timedQueryWindow([] {
                       sample("bycashier", timedQuery(&TXscxForm::ComboBox2, queriedCashier()));
                   }));
            if (tickets > 0 && XstjForm->DBGridEh1->model()->rowCount() == 0) {
                std::fprintf(stderr, "the query by cashier found nothing\n");
                std::exit(3);
            }

            // A double-click on the newest ticket, the last checkout's 20
            // lines on every archive (the oldest of a seeded archive has 4,
            // and an empty archive none): Ctrl+End, then the double-click.
            click(XstjForm->SpeedButton3); // 刷新: every ticket again, the newest last
            ui::ListGrid *grid = XstjForm->DBGridEh1;
            grid->setFocus();
            QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
            // The screen shows the newest ticket before the cashier clicks it:
            // its painting is the list's, not the detail's.
            QApplication::processEvents();
            paint(XstjForm);
            const int newest = grid->model()->rowCount() - 1;
            double detail = -1;
            int lines = -1;
            whenModalShown([&](QWidget *d) {
                paint(d);
                detail = ms(step);
                lines = XsmxForm->DBGridEh1->model()->rowCount();
            });
            step.restart();
            QTest::mouseDClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, rowCentre(grid, newest));
            if (lines != kCheckoutLines) {
                std::fprintf(stderr, "the detail shows %d lines\n", lines);
                std::exit(3);
            }
            sample("detail", detail);

            // 日结 of a seeded day: the window opens on today, the day is
            // typed into its date box; timed from the last key until the
            // day's figures are shown.
            whenModalShown([&](QWidget *w) {
                paint(w);
                QDateEdit *box = RjForm->DateTimePicker1;
                box->setFocus();
                box->setSelectedSection(QDateTimeEdit::YearSection);
                const QString typed = dayEndDay().toString(QStringLiteral("yyyyMMdd"));
                for (int i = 0; i + 1 < typed.size(); ++i)
                    QTest::keyClick(box, typed[i].toLatin1());
                step.restart();
                QTest::keyClick(box, typed.back().toLatin1());
                paint(w);
                sample("dayend", ms(step));
                if (tickets > 0 && RjForm->shown().total.tickets == 0) {
                    std::fprintf(stderr, "日结 found no ticket on %s (the box shows %s)\n", qPrintable(typed),
                                 qPrintable(box->text()));
                    std::exit(3);
                }
            });
            click(XstjForm->SpeedButton6);
            expectNoPrompt("统计");

            measureRange(tickets);
        });
        t.start();
        click(MainForm->SpeedButton7);
        return shown;
    });
}

} // namespace

int measureProgram(const Job &job)
{
    answerPrompts();
    // The program's own backups would fall on rows that time something else;
    // the backup rows run their own.
    app::setAutomaticBackups(false);
    QDir::setCurrent(job.folder);
    repeat("startup", job.runs, [] { return runProgram(closeLogin); });
    runProgram(logIn, [&] {
        measureEntry(job);
        measureHistory(job, job.tickets);
    });
    return 0;
}

int measureExport(const Job &job)
{
    answerPrompts();
    app::setAutomaticBackups(false);
    QDir::setCurrent(job.folder);
    runProgram(logIn, [&] {
        whenModalShown([&](QWidget *) {
            repeat("export", job.runs, [&] {
                const QString name = QDir(job.folder).filePath(QStringLiteral("export"));
                ui::queueSaveFileName(name);
                QElapsedTimer t;
                t.start();
                click(XstjForm->SpeedButton2); // 导出
                const double elapsed = ms(t) / 1000;
                if (prompts != QStringList{QStringLiteral("成功导出全部数据!")}) {
                    std::fprintf(stderr, "the export showed: %s\n", qPrintable(prompts.join(QStringLiteral(" / "))));
                    std::exit(3);
                }
                prompts.clear();
                QFile::remove(name + QStringLiteral(".xlsx"));
                return elapsed;
            });
        });
        click(MainForm->SpeedButton7); // 统计: the list as it opens
    });
    sample("exportpeak", peakRssMiB());
    return 0;
}

int measureCatalogue(const Job &job, bool reader)
{
    answerPrompts();
    app::setAutomaticBackups(false);
    QDir::setCurrent(job.folder);
    // As when a screen reader runs: every change of a view is reported (where
    // the platform has a bridge), and the windows are read as they show.
    QAccessible::setActive(reader);
    screenReader = reader;
    const char *startup = reader ? "cat-startup-at" : "cat-startup";
    const char *add = reader ? "cat-add-at" : "cat-add";
    repeat(startup, job.runs, [] { return runProgram(closeLogin); });
    runProgram(logIn, [&] {
        int line = 0;
        repeat(add, job.runs * 2, [&] { return timedAdd(line++); });
    });
    return 0;
}

} // namespace bench
