#pragma once
// The program run as a separate process for the fault tests (velmora_till,
// tests/faults/TillChild.cpp): what it sells, how its tickets are numbered,
// and the parent's side, which starts it, reads its events, and kills it.
#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QProcess>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

namespace till {

// A ticket line as the cashier types it.
struct Line {
    QString name;
    QString price;
    QString quantity;
    bool operator==(const Line &) const = default;
};

// Ticket t is numbered by the clock at a fixed start plus t seconds, so
// every ticket of every run has a number of its own.
QDateTime ticketTime(int t);
QString ticketNumber(int t);

// A line of a small shop's stock, some names inside others ("可乐" in
// "可口可乐"), so 添加 both teaches the catalogue new rows and changes prices.
Line randomLine(QRandomGenerator &random);

// One line the child wrote: its kind (the first character), the rest, and
// when the parent read it (µs since the child was started).
struct Event {
    QChar kind;
    QString text;
    qint64 atUs = 0;
};

class Process {
public:
    // Starts velmora_till with the arguments in the folder (by default the
    // current directory), offscreen, its home and desktop under that folder.
    explicit Process(const QStringList &arguments, const QString &folder = QString());
    ~Process();
    Process(const Process &) = delete;
    Process &operator=(const Process &) = delete;

    qint64 pid() const { return process_.processId(); }
    qint64 elapsedUs() const { return clock_.nsecsElapsed() / 1000; }
    // Reads events until one satisfies `until` (returned), the child ends,
    // or the time runs out (nullopt).
    std::optional<Event> waitFor(const std::function<bool(const Event &)> &until, int timeoutMs);
    // Reads events until the moment (µs since start) or the child's end.
    void readUntil(qint64 atUs);
    // SIGKILL, then every event written before it.
    void kill();
    // Waits for the end; the exit code, or -1 when it did not end in time
    // (it is then killed) or crashed.
    int finish(int timeoutMs);
    void send(const QByteArray &bytes);
    bool running() const { return process_.state() != QProcess::NotRunning; }

    const QList<Event> &events() const { return events_; }
    // The events one per line, for a failure message.
    QString transcript() const;
    QString errors() { return QString::fromUtf8(process_.readAllStandardError()); }

private:
    void take();
    QProcess process_;
    QElapsedTimer clock_;
    QByteArray pending_;
    QList<Event> events_;
    qsizetype handed_ = 0; // events already returned by waitFor
};

} // namespace till
