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
//
// The environment variable VELMORA_TILL_CLOCK=<yyyy-MM-dd hh:mm:ss> stops
// the program's clock at that second (start; sales numbers each ticket by a
// second of its own). Without it the clock stands at the first ticket's
// second.
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

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
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

class Driver : public QObject {
public:
    Driver(bool sales, int firstTicket, quint32 seed, int tickets, int copies)
        : sales_(sales), ticket_(firstTicket), random_(seed), tickets_(tickets), copies_(copies)
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
            if (sales_) {
                poll_.stop();
                if (!testing::pickFromList(LoginForm->ComboBox1, u"admin"_s))
                    say(u"X the login list has no admin"_s);
                testing::click(LoginForm->SpeedButton1);
                poll_.start();
            } else {
                waitForQuit();
            }
            return;
        }
        // Logged in once the login's own loop has ended and the main loop runs.
        if (!sales_ || LoginForm || QApplication::activeModalWidget() || !MainForm || !MainForm->isVisible())
            return;
        poll_.stop();
        testing::retype(MainForm->ComboBox3, QString::number(copies_));
        say(u"R"_s);
        sell();
    }

    void waitForQuit()
    {
        stdin_ = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
        connect(stdin_, &QSocketNotifier::activated, this, [this] {
            char buf[64];
            const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
            if (n > 0 && !QByteArray(buf, int(n)).contains("quit"))
                return;
            stdin_->setEnabled(false);
            if (LoginForm)
                testing::click(LoginForm->SpeedButton2);
        });
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

    bool sales_;
    int ticket_;
    QRandomGenerator random_;
    int tickets_;
    int copies_;
    QTimer poll_;
    bool loginSeen_ = false;
    QSocketNotifier *stdin_ = nullptr;
};

} // namespace

int main(int argc, char **argv)
{
    app::Application application(argc, argv);
    QLocale::setDefault(QLocale::c());
    const QStringList args = QCoreApplication::arguments();
    const bool sales = args.value(1) == "sales"_L1;
    const QDateTime clock =
        QDateTime::fromString(qEnvironmentVariable("VELMORA_TILL_CLOCK"), u"yyyy-MM-dd hh:mm:ss"_s);
    if ((!sales && args.value(1) != "start"_L1)
        || (qEnvironmentVariableIsSet("VELMORA_TILL_CLOCK") && !clock.isValid())) {
        std::fprintf(stderr, "usage: [VELMORA_TILL_CLOCK='yyyy-MM-dd hh:mm:ss'] velmora_till "
                             "sales <first ticket> <seed> [tickets] [copies] | start\n");
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
    appclock::setSource([t = clock.isValid() && !sales ? clock : till::ticketTime(first)] { return t; });
    Driver driver(sales, first, seed, tickets, copies);
    say(u"S"_s);
    const int code = app::run();
    print::setPrinter({});
    return code;
}
