// The program as a shop runs it, driven from inside for the fault tests: it
// starts through app::run() on data.mdb of its current directory (the
// instance lock, the checks at start, every window, the login), and a driver
// works it as a cashier does with real key and mouse events. The parent test
// kills it at moments of its choosing and reads what it got to from stdout.
//
//   velmora_till sales <first ticket> <seed> [tickets] [copies]
//       logs in as admin and sells tickets one after the other, each receipt
//       printed into a PDF file of its own under receipts/ (the printer's
//       output, which a kill cannot take back), until killed or <tickets>
//       are sold; copies 1 (the default) or 2 per ticket.
//   velmora_till start
//       starts, shows the login and waits; "quit" on stdin (or its end)
//       gives the login up, so the program ends as a cashier ends it.
//   velmora_till cashier
//       logs in as admin, then does what the parent writes on stdin, one
//       command a line, each after the one before has returned:
//         type <name>\t<price>\t<quantity>   types a line into the boxes
//                                            (discount 10), no click
//         add                                clicks 添加
//         checkout                           clicks 打印(F5)
//         quit                               ends the program (so does the
//                                            end of stdin)
//
// The environment variable VELMORA_TILL_CLOCK=<yyyy-MM-dd hh:mm:ss> stops
// the program's clock at that second (start and cashier; sales numbers each
// ticket by a second of its own). Without it the clock stands at the first
// ticket's second.
//
// One line per event, written straight to the pipe (a kill loses nothing
// written before it):
//   S                 start begins (before the database is opened)
//   P <icon> <text>   a message box; answered OK
//   M <number>        a sale left printing by an earlier run is shown; 重打 answered
//   L                 the login window is shown (the working ticket emptied)
//   R                 logged in, the main window ready
//   A <t> <i> <name>\t<price>\t<quantity>   添加 of line i of ticket t clicked
//   a <t> <i>         添加 returned with the line in the grid
//   C <t> <n>         打印(F5) of ticket t with n lines clicked
//   p <number>        one receipt of that ticket reached the printer
//   c <t>             the checkout returned, the next ticket shown
//   D <lines>\t<品名>\t<单价>\t<数量>\t<单号>
//                     a command of cashier returned: the lines in the grid,
//                     the line boxes and the ticket number shown
//   X <text>          the driver saw something wrong
//   Z                 the tickets asked for are sold
#include "app/Application.h"
#include "app/LoginUnit.h"
#include "print/Printer.h"
#include "report/Output.h"
#include "store/Clock.h"
#include "support/Cashier.h"
#include "support/TestSupport.h"
#include "support/Till.h"
#include "ticket/MainUnit.h"
#include "ui/ListGrid.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopedValueRollback>
#include <QSocketNotifier>
#include <QTimer>
#include <QtTest>
#include <cstdio>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

void say(const QString &line)
{
    QByteArray bytes = line.toUtf8();
    bytes.replace('\n', ' ');
    bytes += '\n';
    const char *p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(STDOUT_FILENO, p, size_t(left));
        if (n <= 0)
            return;
        p += n;
        left -= n;
    }
}

const char *iconName(msg::Icon icon)
{
    switch (icon) {
    case msg::Icon::Information: return "information";
    case msg::Icon::Warning: return "warning";
    case msg::Icon::Error: return "error";
    case msg::Icon::Question: return "question";
    case msg::Icon::None: break;
    }
    return "none";
}

// The receipt goes to a PDF, as it does on its way to CUPS. Once the file
// has its name the receipt is out: written aside first, then renamed.
class PdfPrinter : public print::Printer {
public:
    void print(report::Layout &layout, const report::Data &data, const QString &title) override
    {
        const QString number = title.section(u' ', -1);
        QDir here = QDir::current();
        here.mkpath(u"receipts"_s);
        const QString aside = here.absoluteFilePath(u"receipts/printing.tmp"_s);
        report::writePdf(aside, layout, data, title);
        QString name;
        for (int k = 1;; ++k) {
            name = here.absoluteFilePath(u"receipts/%1-%2.pdf"_s.arg(number).arg(k));
            if (!QFile::exists(name))
                break;
        }
        QFile::rename(aside, name);
        say(u"p "_s + number);
    }
};

enum class Mode { Start, Sales, Cashier };

class Driver : public QObject {
public:
    Driver(Mode mode, int firstTicket, quint32 seed, int tickets, int copies)
        : mode_(mode), ticket_(firstTicket), random_(seed), tickets_(tickets), copies_(copies)
    {
        poll_.setInterval(2);
        connect(&poll_, &QTimer::timeout, this, &Driver::step);
        poll_.start();
    }

private:
    void step()
    {
        if (!loginSeen_) {
            if (!LoginForm || !LoginForm->isVisible())
                return;
            loginSeen_ = true;
            say(u"L"_s);
            if (mode_ != Mode::Start) {
                poll_.stop();
                if (!testing::pickFromList(LoginForm->ComboBox1, u"admin"_s))
                    say(u"X the login list has no admin"_s);
                testing::click(LoginForm->SpeedButton1);
                poll_.start();
            }
            readInput();
            return;
        }
        // Logged in once the login's own loop has ended and the main loop runs.
        if (mode_ == Mode::Start || LoginForm || QApplication::activeModalWidget() || !MainForm
            || !MainForm->isVisible())
            return;
        poll_.stop();
        if (mode_ == Mode::Sales) {
            testing::retype(MainForm->ComboBox3, QString::number(copies_));
            say(u"R"_s);
            sell();
            return;
        }
        say(u"R"_s);
        ready_ = true;
        QTimer::singleShot(0, this, &Driver::runCommands);
    }

    // stdin: "quit" at the login for start, the commands of cashier.
    void readInput()
    {
        if (mode_ == Mode::Sales)
            return;
        stdin_ = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
        connect(stdin_, &QSocketNotifier::activated, this, [this] {
            char buf[4096];
            const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
            if (n <= 0) {
                stdin_->setEnabled(false);
                input_ += "\nquit\n";
            } else {
                input_.append(buf, int(n));
            }
            if (mode_ == Mode::Start) {
                if (input_.contains("quit")) {
                    stdin_->setEnabled(false);
                    if (LoginForm)
                        testing::click(LoginForm->SpeedButton2);
                }
                return;
            }
            runCommands();
        });
    }

    // One command after the other; a click that lets events through (a
    // receipt printing) never starts the next one inside it.
    void runCommands()
    {
        if (!ready_ || running_)
            return;
        QScopedValueRollback<bool> guard(running_, true);
        qsizetype end;
        while ((end = input_.indexOf('\n')) >= 0) {
            const QString command = QString::fromUtf8(input_.left(end)).trimmed();
            input_.remove(0, end + 1);
            if (command.isEmpty())
                continue;
            if (command == "quit"_L1) {
                ready_ = false;
                QCoreApplication::exit(0);
                return;
            }
            run(command);
            // As the cashier sees it: nothing is read from the database here.
            const TMainForm *f = MainForm;
            say(u"D %1\t"_s.arg(f->DBGridEh1->model()->rowCount()) + f->ComboBox1->currentText() + u'\t'
                + f->Edit3->text() + u'\t' + f->Edit4->text() + u'\t' + f->Edit1->text());
        }
    }

    void run(const QString &command)
    {
        TMainForm *f = MainForm;
        if (command.startsWith("type "_L1)) {
            const QStringList parts = command.mid(5).split(u'\t');
            if (parts.size() != 3) {
                say(u"X a line is <name>\\t<price>\\t<quantity>: "_s + command);
                return;
            }
            cashier::enterLine(parts[0], parts[1], parts[2], u"10"_s);
        } else if (command == "add"_L1) {
            testing::click(f->SpeedButton2);
        } else if (command == "checkout"_L1) {
            testing::click(f->SpeedButton6);
        } else {
            say(u"X no such command: "_s + command);
        }
    }

    void sell()
    {
        TMainForm *f = MainForm;
        for (int sold = 0; tickets_ <= 0 || sold < tickets_; ++sold, ++ticket_) {
            const int lines = 1 + int(random_.bounded(5));
            for (int i = 0; i < lines; ++i) {
                const till::Line line = till::randomLine(random_);
                cashier::enterLine(line.name, line.price, line.quantity, u"10"_s);
                say(u"A %1 %2 "_s.arg(ticket_).arg(i) + line.name + u'\t' + line.price + u'\t' + line.quantity);
                testing::click(f->SpeedButton2);
                if (f->ADOQuery2.recordCount() != i + 1)
                    say(u"X after 添加 the grid shows %1 lines, not %2"_s.arg(f->ADOQuery2.recordCount()).arg(i + 1));
                say(u"a %1 %2"_s.arg(ticket_).arg(i));
            }
            // The ticket's number is the second of its F5.
            appclock::setSource([t = till::ticketTime(ticket_)] { return t; });
            say(u"C %1 %2"_s.arg(ticket_).arg(lines));
            testing::click(f->SpeedButton6);
            if (f->ADOQuery2.recordCount() != 0 || f->Edit1->text() != till::ticketNumber(ticket_ + 1))
                say(u"X after the checkout the grid shows %1 lines and the number %2"_s
                        .arg(f->ADOQuery2.recordCount())
                        .arg(f->Edit1->text()));
            say(u"c %1"_s.arg(ticket_));
        }
        say(u"Z"_s);
        QCoreApplication::exit(0);
    }

    Mode mode_;
    int ticket_;
    QRandomGenerator random_;
    int tickets_;
    int copies_;
    QTimer poll_;
    bool loginSeen_ = false;
    bool ready_ = false;   // cashier: logged in, taking commands
    bool running_ = false; // cashier: a command is running
    QByteArray input_;
    QSocketNotifier *stdin_ = nullptr;
};

} // namespace

int main(int argc, char **argv)
{
    app::Application application(argc, argv);
    QLocale::setDefault(QLocale::c());
    const QStringList args = QCoreApplication::arguments();
    const Mode mode = args.value(1) == "sales"_L1 ? Mode::Sales
                    : args.value(1) == "cashier"_L1 ? Mode::Cashier
                                                    : Mode::Start;
    const QDateTime clock =
        QDateTime::fromString(qEnvironmentVariable("VELMORA_TILL_CLOCK"), u"yyyy-MM-dd hh:mm:ss"_s);
    if ((mode == Mode::Start && args.value(1) != "start"_L1)
        || (qEnvironmentVariableIsSet("VELMORA_TILL_CLOCK") && !clock.isValid())) {
        std::fprintf(stderr, "usage: [VELMORA_TILL_CLOCK='yyyy-MM-dd hh:mm:ss'] velmora_till "
                             "sales <first ticket> <seed> [tickets] [copies] | start | cashier\n");
        return 2;
    }
    const int first = args.value(2).toInt();
    const quint32 seed = args.value(3).toUInt();
    const int tickets = args.value(4).toInt();
    const int copies = args.value(5) == "2"_L1 ? 2 : 1;

    msg::setHook([](const msg::Prompt &p) {
        if (p.buttons == msg::Buttons::YesNoCancel) {
            // A sale an earlier run archived while its receipt printed: the
            // cashier prints it again.
            static const QRegularExpression number(u"单号为“([^”]*)”"_s);
            say(u"M "_s + number.match(p.text).captured(1));
            return msg::Answer::Yes;
        }
        say(u"P "_s + QLatin1StringView(iconName(p.icon)) + u' ' + p.text);
        return p.buttons == msg::Buttons::YesNo ? msg::Answer::Yes : msg::Answer::Ok;
    });
    print::setPrinter(std::make_unique<PdfPrinter>());
    appclock::setSource([t = clock.isValid() && mode != Mode::Sales ? clock : till::ticketTime(first)] { return t; });
    Driver driver(mode, first, seed, tickets, copies);
    say(u"S"_s);
    const int code = app::run();
    print::setPrinter({});
    return code;
}
