// The program killed (SIGKILL) at random moments while it sells: during its
// start, during 添加, while a receipt prints and while the ticket is
// archived. After every kill data.mdb is opened as the next start would open
// it and must be whole: the engine finds no damage, every archived ticket has
// all its lines exactly once, every ticket the program finished is archived,
// and the working ticket holds what the cashier had added (a line is there or
// not), never half a checkout. The receipts the printer got and the archive
// agree across every kill and the next start: each receipt belongs to an
// archived sale, and a sale archived without its printing mark has all its
// copies printed; a sale still marked is printed again at the next start.
//
// The suite runs a few dozen kills; VELMORA_KILLS=<n> runs more
// (scripts/crash-kills.sh), VELMORA_CRASH_SEED=<n> repeats a run.
#include "support/TestSupport.h"
#include "support/Till.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QSet>
#include <QtTest>
#include <algorithm>
#include <deque>

using namespace Qt::StringLiterals;

namespace {

// Where a kill is aimed. A checkout archives the sale marked as printing,
// prints, then clears the mark: "printing" aims between F5 and the first
// receipt, "archiving" after a receipt.
enum class Aim { Start, Adding, Printing, Archiving, Anywhere };

// Where it landed, read from what the program said before it died.
enum class Landed { Start, Adding, Printing, Archiving, Between };

const char *landedName(Landed l)
{
    switch (l) {
    case Landed::Start: return "start";
    case Landed::Adding: return "添加";
    case Landed::Printing: return "archiving and printing";
    case Landed::Archiving: return "after a receipt";
    case Landed::Between: return "between";
    }
    return "?";
}

int killsWanted()
{
    const int n = qEnvironmentVariableIntValue("VELMORA_KILLS");
    return n > 0 ? n : 36;
}

// How long each stage took lately (µs), so a kill aimed at it falls inside.
class Durations {
public:
    void note(qint64 us)
    {
        if (us <= 0)
            return;
        seen_.push_back(us);
        if (seen_.size() > 20)
            seen_.pop_front();
    }
    qint64 upper(qint64 guess) const
    {
        return seen_.empty() ? guess : *std::max_element(seen_.begin(), seen_.end());
    }
    // A moment inside one of the recent durations, picked at random: a slow
    // first time (fonts loaded for the first receipt) does not push most
    // kills past the stage.
    qint64 within(QRandomGenerator &random, qint64 guess) const
    {
        const qint64 span = seen_.empty() ? guess : seen_[random.bounded(int(seen_.size()))];
        return qint64(random.bounded(quint32(std::max<qint64>(span, 1))));
    }

private:
    std::deque<qint64> seen_;
};

// What one run of the program got to, from its events.
struct Run {
    bool ready = false;  // logged in
    bool login = false;  // the login had emptied the working ticket
    int ticket = -1;     // the ticket being worked on
    QList<till::Line> added; // its lines whose 添加 returned
    std::optional<till::Line> adding; // a line whose 添加 was clicked and had not returned
    bool checkingOut = false;
    int printed = 0;
    QList<int> begun;    // tickets whose checkout was clicked
    QList<int> finished; // tickets whose checkout returned
    QStringList reprinted; // numbers of marked sales printed again at the start
    QStringList problems; // message boxes and driver complaints
};

struct Timing {
    Durations start, add, print, archive;
};

till::Line lineOf(const QString &text, int *ticket, int *index)
{
    // "<t> <i> <name>\t<price>\t<quantity>"
    const int s1 = text.indexOf(u' ');
    const int s2 = text.indexOf(u' ', s1 + 1);
    *ticket = text.left(s1).toInt();
    *index = text.mid(s1 + 1, s2 - s1 - 1).toInt();
    const QStringList parts = text.mid(s2 + 1).split(u'\t');
    return {parts.value(0), parts.value(1), parts.value(2)};
}

Run readRun(const QList<till::Event> &events, QMap<int, QList<till::Line>> &book, Timing &timing)
{
    Run r;
    qint64 addAt = 0, checkoutAt = 0, printedAt = 0;
    for (const till::Event &e : events) {
        switch (e.kind.unicode()) {
        case 'L': r.login = true; break;
        case 'R':
            r.ready = true;
            timing.start.note(e.atUs);
            break;
        case 'A': {
            int t = 0, i = 0;
            const till::Line line = lineOf(e.text, &t, &i);
            if (t != r.ticket) {
                r.ticket = t;
                r.added.clear();
            }
            if (i != r.added.size())
                r.problems << u"line %1 of ticket %2 after %3 lines"_s.arg(i).arg(t).arg(r.added.size());
            r.adding = line;
            addAt = e.atUs;
            break;
        }
        case 'a':
            if (r.adding)
                r.added << *r.adding;
            r.adding.reset();
            timing.add.note(e.atUs - addAt);
            book[r.ticket] = r.added;
            break;
        case 'C':
            r.checkingOut = true;
            r.begun << r.ticket;
            r.printed = 0;
            checkoutAt = e.atUs;
            break;
        case 'p':
            // A sale printed again at the start is no stage of a checkout.
            if (!r.checkingOut)
                break;
            ++r.printed;
            printedAt = e.atUs;
            timing.print.note(e.atUs - checkoutAt);
            break;
        case 'c':
            r.checkingOut = false;
            r.finished << r.ticket;
            timing.archive.note(e.atUs - printedAt);
            r.ticket = -1;
            r.added.clear();
            break;
        case 'M': r.reprinted << e.text; break;
        case 'P':
        case 'X': r.problems << QString(e.kind) + u' ' + e.text; break;
        default: break;
        }
    }
    // A line clicked but not confirmed may be stored or not: the book keeps
    // the lines the ticket may hold.
    if (r.adding && r.ticket >= 0)
        book[r.ticket] = r.added + QList<till::Line>{*r.adding};
    return r;
}

Landed landing(const Run &r)
{
    if (!r.ready)
        return Landed::Start;
    if (r.adding)
        return Landed::Adding;
    if (r.checkingOut)
        return r.printed == 0 ? Landed::Printing : Landed::Archiving;
    return Landed::Between;
}

bool sameNumber(const QString &typed, const QString &stored)
{
    bool a = false, b = false;
    const double x = typed.toDouble(&a);
    const double y = stored.toDouble(&b);
    return a && b && x == y;
}

bool sameLines(const QList<till::Line> &expected, const QList<QStringList> &stored)
{
    if (expected.size() != stored.size())
        return false;
    for (int i = 0; i < expected.size(); ++i) {
        const QStringList &s = stored[i];
        if (expected[i].name != s.value(0) || !sameNumber(expected[i].price, s.value(1))
            || !sameNumber(expected[i].quantity, s.value(2)))
            return false;
    }
    return true;
}

QString show(const QList<QStringList> &rows)
{
    QStringList out;
    for (const QStringList &r : rows)
        out << r.join(u'/');
    return u"["_s + out.join(u", "_s) + u']';
}

QString show(const QList<till::Line> &lines)
{
    QStringList out;
    for (const till::Line &l : lines)
        out << l.name + u'/' + l.price + u'/' + l.quantity;
    return u"["_s + out.join(u", "_s) + u']';
}

const QString kWorking = u"select 品名, 单价, 数量, 单号 from xsxx order by ID"_s;

} // namespace

class TestCrash : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void killedWhileSelling_data();
    void killedWhileSelling();

private:
    // Checks data.mdb after a kill; the first fault found, or empty.
    QString check(const Run &run, Landed landed, const QList<till::Line> &leftover, int leftoverTicket);
    // An earlier run's unfinished ticket in the working table, for a start to empty.
    void leaveTicket(QRandomGenerator &random);
    QString keepFile(int kill);
    // The receipts against the archive; the first fault found, or empty.
    QString checkReceipts(const QHash<QString, int> &byNumber);

    std::optional<testing::TempWorkDir> dir_;
    quint32 seed_ = 0;
    int nextTicket_ = 0;
    QMap<int, QList<till::Line>> book_; // every ticket's lines as the program was given them
    QSet<int> begun_;                   // tickets whose checkout was clicked
    QSet<int> finished_;                // tickets whose checkout returned
    QHash<int, int> copies_;            // the copies each begun ticket was to print
    QSet<QString> reprinted_;           // marked sales printed again at a start
    Timing timing_;
    QHash<QString, int> tally_;
    int kills_ = 0;
};

void TestCrash::initTestCase()
{
    QLocale::setDefault(QLocale::c());
    bool given = false;
    seed_ = qEnvironmentVariable("VELMORA_CRASH_SEED").toUInt(&given);
    if (!given)
        seed_ = QRandomGenerator::global()->generate();
    qInfo("seed %u (VELMORA_CRASH_SEED=%u repeats this run's choices)", seed_, seed_);
}

void TestCrash::init()
{
    dir_.emplace();
    nextTicket_ = 0;
    book_.clear();
    begun_.clear();
    finished_.clear();
    copies_.clear();
    reprinted_.clear();
}

void TestCrash::cleanup()
{
    dir_.reset();
}

void TestCrash::cleanupTestCase()
{
    QStringList parts;
    for (auto it = tally_.cbegin(); it != tally_.cend(); ++it)
        parts << u"%1 %2"_s.arg(it.key()).arg(it.value());
    parts.sort();
    qInfo("%d kills landed: %s", kills_, qPrintable(parts.join(u", "_s)));
    qInfo("stages lately took up to (ms): start %.1f, 添加 %.1f, printing %.1f, archiving %.1f",
          timing_.start.upper(0) / 1000.0, timing_.add.upper(0) / 1000.0, timing_.print.upper(0) / 1000.0,
          timing_.archive.upper(0) / 1000.0);
}

void TestCrash::killedWhileSelling_data()
{
    QTest::addColumn<int>("aim");
    QTest::addColumn<int>("kills");
    const int n = killsWanted();
    // Shares of the kills: most where the archive is written.
    const struct {
        const char *name;
        Aim aim;
        int share; // of 18
    } rows[] = {{"during start, an earlier ticket left", Aim::Start, 3},
                {"during 添加", Aim::Adding, 4},
                {"while the receipt prints", Aim::Printing, 3},
                {"while the ticket is archived", Aim::Archiving, 5},
                {"at any moment", Aim::Anywhere, 3}};
    int given = 0;
    for (const auto &r : rows)
        given += std::max(1, n * r.share / 18);
    for (const auto &r : rows) {
        int kills = std::max(1, n * r.share / 18);
        if (r.aim == Aim::Archiving)
            kills += std::max(0, n - given); // what the shares leave over
        QTest::newRow(r.name) << int(r.aim) << kills;
    }
}

void TestCrash::leaveTicket(QRandomGenerator &random)
{
    const int t = nextTicket_++;
    QList<till::Line> lines;
    const int n = 1 + int(random.bounded(40));
    for (int i = 0; i < n; ++i) {
        const till::Line l = till::randomLine(random);
        testing::exec(u"insert into xsxx (单号, 时间, 品名, 单价, 数量, 金额, 折后) values (?, ?, ?, ?, ?, ?, ?)"_s,
                      {till::ticketNumber(t), till::ticketTime(t).toString(u"yyyy-MM-dd hh:mm:ss"_s), l.name,
                       l.price.toDouble(), l.quantity.toDouble(), l.price.toDouble() * l.quantity.toDouble(),
                       l.price.toDouble() * l.quantity.toDouble()});
        testing::exec(u"insert into spxx (品名, 单价) select ?, ? where not exists (select 1 from spxx where 品名 = ?)"_s,
                      {l.name, l.price.toDouble(), l.name});
        lines << l;
    }
    book_[t] = lines;
}

QString TestCrash::keepFile(int kill)
{
    const QString kept = QDir::temp().filePath(u"velmora-crash-%1-%2.mdb"_s.arg(seed_).arg(kill));
    QFile::remove(kept);
    QFile::copy(dir_->file(u"data.mdb"_s), kept);
    return kept;
}

QString TestCrash::check(const Run &run, Landed landed, const QList<till::Line> &leftover, int leftoverTicket)
{
    const QString integrity = testing::scalar(u"PRAGMA integrity_check"_s).toString();
    if (integrity != "ok"_L1)
        return u"integrity_check: "_s + integrity;

    const QList<QStringList> twice =
        testing::rows(u"select 单号, count(*) from xstj group by 单号 having count(*) > 1"_s);
    if (!twice.isEmpty())
        return u"tickets archived twice: "_s + show(twice);
    const QList<QStringList> strays =
        testing::rows(u"select distinct 单号 from xsmx where 单号 not in (select 单号 from xstj)"_s);
    if (!strays.isEmpty())
        return u"archived lines without their ticket: "_s + show(strays);

    QHash<QString, int> byNumber;
    for (auto it = book_.cbegin(); it != book_.cend(); ++it)
        byNumber.insert(till::ticketNumber(it.key()), it.key());
    QSet<int> archived;
    for (const QStringList &head : testing::rows(u"select 单号, 数量 from xstj"_s)) {
        const auto found = byNumber.constFind(head.value(0));
        if (found == byNumber.cend())
            return u"an archived ticket the program was never given: "_s + head.value(0);
        if (!begun_.contains(*found))
            return u"ticket %1 archived though its checkout was never clicked"_s.arg(head.value(0));
        const QList<till::Line> &lines = book_.value(*found);
        const QList<QStringList> stored =
            testing::rows(u"select 品名, 单价, 数量 from xsmx where 单号 = ? order by rowid"_s, {head.value(0)});
        if (!sameLines(lines, stored))
            return u"ticket %1 archived with the lines %2, it had %3"_s.arg(head.value(0), show(stored), show(lines));
        double quantity = 0;
        for (const till::Line &l : lines)
            quantity += l.quantity.toDouble();
        if (!sameNumber(QString::number(quantity), head.value(1)))
            return u"ticket %1 archived with the quantity %2 for its lines' %3"_s.arg(head.value(0), head.value(1))
                .arg(quantity);
        archived.insert(*found);
    }
    for (int t : finished_) {
        if (!archived.contains(t))
            return u"ticket %1 was checked out but is not archived"_s.arg(till::ticketNumber(t));
    }
    if (const QString fault = checkReceipts(byNumber); !fault.isEmpty())
        return fault;

    // The working ticket.
    const QList<QStringList> working = testing::rows(kWorking);
    for (const QStringList &w : working) {
        if (w.value(3) != till::ticketNumber(run.ticket >= 0 ? run.ticket : leftoverTicket))
            return u"the working ticket holds a line of ticket %1: %2"_s.arg(w.value(3), show(working));
    }
    if (landed == Landed::Start && !run.login) {
        // The start empties what an earlier run left: all of it or none.
        if (!working.isEmpty() && !sameLines(leftover, working))
            return u"the start left %1 of the earlier ticket %2"_s.arg(show(working), show(leftover));
    } else if (run.ticket < 0) {
        if (!working.isEmpty())
            return u"lines in the working ticket where none were added: "_s + show(working);
    } else if (run.checkingOut) {
        const bool isArchived = archived.contains(run.ticket);
        if (isArchived ? !working.isEmpty() : !sameLines(run.added, working))
            return u"half a checkout: ticket %1 %2 archived, the working ticket holds %3 of %4"_s.arg(
                till::ticketNumber(run.ticket), isArchived ? u"is"_s : u"is not"_s, show(working), show(run.added));
    } else {
        const bool asConfirmed = sameLines(run.added, working);
        const bool withClicked = run.adding && sameLines(run.added + QList<till::Line>{*run.adding}, working);
        if (!asConfirmed && !withClicked)
            return u"the working ticket holds %1, the cashier added %2%3"_s.arg(
                show(working), show(run.added), run.adding ? u" and clicked 添加 for one more"_s : QString());
    }

    // The catalogue learned every product before its line was stored.
    const QList<QStringList> unknown = testing::rows(
        u"select distinct 品名 from (select 品名 from xsxx union all select 品名 from xsmx) "
        "where 品名 not in (select 品名 from spxx)"_s);
    if (!unknown.isEmpty())
        return u"lines of products the catalogue never learned: "_s + show(unknown);
    return {};
}

QString TestCrash::checkReceipts(const QHash<QString, int> &byNumber)
{
    QHash<QString, int> receipts;
    const QStringList files = QDir(dir_->file(u"receipts"_s)).entryList({u"*.pdf"_s}, QDir::Files);
    for (const QString &f : files)
        ++receipts[f.section(u'-', 0, 0)];
    QSet<QString> archived, marked;
    for (const QStringList &r : testing::rows(u"select 单号 from xstj"_s))
        archived.insert(r.value(0));
    for (const QStringList &r : testing::rows(u"select 单号 from dyzt"_s))
        marked.insert(r.value(0));
    for (auto it = receipts.cbegin(); it != receipts.cend(); ++it) {
        if (!archived.contains(it.key()))
            return u"%1 receipt(s) of ticket %2 printed, the sale is not archived"_s.arg(it.value()).arg(it.key());
    }
    for (const QString &n : marked) {
        if (!archived.contains(n))
            return u"ticket %1 is marked as printing but not archived"_s.arg(n);
        if (finished_.contains(byNumber.value(n, -1)))
            return u"ticket %1 finished its checkout and is still marked as printing"_s.arg(n);
    }
    for (const QString &n : archived) {
        if (marked.contains(n))
            continue; // printing when killed: the next start asks
        const int t = byNumber.value(n, -1);
        // A marked sale printed again at a start prints that run's copies.
        const int wanted = reprinted_.contains(n) ? 1 : copies_.value(t, 1);
        if (receipts.value(n) < wanted)
            return u"ticket %1 is archived as printed with %2 of its %3 receipt(s)"_s.arg(n).arg(receipts.value(n)).arg(
                wanted);
    }
    return {};
}

void TestCrash::killedWhileSelling()
{
    QFETCH(int, aim);
    QFETCH(int, kills);
    QRandomGenerator random(seed_ ^ quint32(aim * 7919));
    int aimedLanded = 0;
    QList<till::Line> leftover;
    int leftoverTicket = -1;

    for (int k = 0; k < kills; ++k) {
        if (Aim(aim) == Aim::Start && testing::scalar(u"select count(*) from xsxx"_s).toInt() == 0) {
            leftoverTicket = nextTicket_;
            leaveTicket(random);
            leftover = book_.value(leftoverTicket);
        }
        const int first = nextTicket_;
        const int copies = 1 + int(random.bounded(2));
        till::Process child({u"sales"_s, QString::number(first), QString::number(random.generate()), u"0"_s,
                             QString::number(copies)});
        auto nth = [&child](QChar kind, int n, int timeoutMs) {
            int seen = 0;
            return child.waitFor([&](const till::Event &e) { return e.kind == kind && ++seen == n; }, timeoutMs)
                .has_value();
        };
        auto killAfter = [&](qint64 us) {
            child.readUntil(child.elapsedUs() + us);
            child.kill();
        };
        switch (Aim(aim)) {
        case Aim::Start:
            child.readUntil(timing_.start.within(random, 800000));
            child.kill();
            break;
        case Aim::Adding:
            QVERIFY2(nth(u'A', 1 + int(random.bounded(8)), 30000), qPrintable(child.transcript()));
            killAfter(timing_.add.within(random, 30000));
            break;
        case Aim::Printing:
            QVERIFY2(nth(u'C', 1 + int(random.bounded(3)), 30000), qPrintable(child.transcript()));
            killAfter(timing_.print.within(random, 40000));
            break;
        case Aim::Archiving:
            QVERIFY2(nth(u'p', 1 + int(random.bounded(3)), 30000), qPrintable(child.transcript()));
            killAfter(timing_.archive.within(random, 30000));
            break;
        case Aim::Anywhere:
            QVERIFY2(nth(u'R', 1, 30000), qPrintable(child.transcript()));
            killAfter(qint64(random.bounded(1000000u)));
            break;
        }
        ++kills_;
        // A journal with content left by the kill: it died inside a write,
        // and the next open must roll it back.
        if (QFileInfo(dir_->file(u"data.mdb-journal"_s)).size() > 0)
            ++tally_[u"inside a write (journal left)"_s];
        const Run run = readRun(child.events(), book_, timing_);
        const Landed landed = landing(run);
        for (int t : run.finished)
            finished_.insert(t);
        for (int t : run.begun) {
            begun_.insert(t);
            copies_.insert(t, copies);
        }
        for (const QString &n : run.reprinted)
            reprinted_.insert(n);
        QString fault;
        if (!run.problems.isEmpty())
            fault = u"the program said: "_s + run.problems.join(u"; "_s);
        else
            fault = check(run, landed, leftover, leftoverTicket);
        if (!fault.isEmpty()) {
            QFAIL(qPrintable(u"kill %1 (seed %2, landed %3): %4\nfile kept as %5\nwhat the program said:\n%6\n%7"_s
                                 .arg(k)
                                 .arg(seed_)
                                 .arg(QString::fromUtf8(landedName(landed)), fault, keepFile(kills_),
                                      child.transcript(), child.errors())));
        }
        QString where = QString::fromUtf8(landedName(landed));
        if (landed == Landed::Archiving)
            where += testing::scalar(u"select count(*) from xstj where 单号 = ?"_s, {till::ticketNumber(run.ticket)})
                             .toInt()
                ? u" (stored)"_s
                : u" (not stored)"_s;
        ++tally_[where];
        const bool onAim = (Aim(aim) == Aim::Start && landed == Landed::Start)
            || (Aim(aim) == Aim::Adding && landed == Landed::Adding)
            || (Aim(aim) == Aim::Printing && landed == Landed::Printing)
            || (Aim(aim) == Aim::Archiving && landed == Landed::Archiving) || Aim(aim) == Aim::Anywhere;
        aimedLanded += onAim ? 1 : 0;

        // The next run numbers its tickets after every ticket seen so far.
        if (!book_.isEmpty())
            nextTicket_ = std::max(nextTicket_, book_.lastKey() + 1);
        nextTicket_ = std::max(nextTicket_, first + int(run.finished.size()) + 1);
        const QList<QStringList> working = testing::rows(kWorking);
        leftover.clear();
        if (run.ticket >= 0 || working.isEmpty())
            leftoverTicket = run.ticket;
        for (const QStringList &w : working)
            leftover << till::Line{w.value(0), w.value(1), w.value(2)};
    }
    qInfo("%d kills, %d of them in the stage aimed at", kills, aimedLanded);
    // A run whose kills all missed their stage proves nothing about it.
    QVERIFY2(aimedLanded > 0, "no kill landed in the stage aimed at");
}

QTEST_MAIN(TestCrash)
#include "tst_crash.moc"
