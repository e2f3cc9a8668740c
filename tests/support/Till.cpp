#include "support/Till.h"

#include <QDir>
#include <QProcessEnvironment>
#include <csignal>
#include <sys/types.h>

using namespace Qt::StringLiterals;

namespace till {

QDateTime ticketTime(int t)
{
    return QDateTime(QDate(2024, 1, 1), QTime(8, 0, 0)).addSecs(t);
}

QString ticketNumber(int t)
{
    return ticketTime(t).toString(u"yyyyMMddhhmmss"_s);
}

Line randomLine(QRandomGenerator &random)
{
    static const QString names[] = {u"可乐"_s,   u"可口可乐"_s, u"雪碧"_s,       u"矿泉水"_s,
                                    u"面包"_s,   u"全麦面包"_s, u"牛奶"_s,       u"康师傅红烧牛肉面"_s,
                                    u"口香糖"_s, u"薯片"_s,     u"Coffee 咖啡"_s, u"鸡蛋"_s};
    const QString &name = names[random.bounded(int(std::size(names)))];
    const int cents = 50 + int(random.bounded(9950));
    QString price = QString::number(cents / 100);
    if (cents % 100)
        price += u'.' + QString::number(cents % 100).rightJustified(2, u'0');
    return {name, price, QString::number(1 + random.bounded(5))};
}

Process::Process(const QStringList &arguments, const QString &folder)
{
    const QString where = folder.isEmpty() ? QDir::currentPath() : folder;
    process_.setProgram(QStringLiteral(VELMORA_TILL));
    process_.setArguments(arguments);
    process_.setWorkingDirectory(where);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    env.insert(u"HOME"_s, where);
    env.insert(u"LANG"_s, u"C.UTF-8"_s);
    env.insert(u"LC_ALL"_s, u"C.UTF-8"_s);
    process_.setProcessEnvironment(env);
    clock_.start();
    process_.start();
    process_.waitForStarted(10000);
}

Process::~Process()
{
    if (running()) {
        process_.kill();
        process_.waitForFinished(10000);
    }
}

void Process::take()
{
    pending_ += process_.readAllStandardOutput();
    qsizetype end;
    while ((end = pending_.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(pending_.left(end));
        pending_.remove(0, end + 1);
        if (line.isEmpty())
            continue;
        events_ << Event{line.at(0), line.mid(2), elapsedUs()};
    }
}

std::optional<Event> Process::waitFor(const std::function<bool(const Event &)> &until, int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        take();
        while (handed_ < events_.size()) {
            const Event &e = events_.at(handed_++);
            if (until(e))
                return e;
        }
        const qint64 left = timeoutMs - waited.elapsed();
        if (left <= 0)
            return std::nullopt;
        if (!running()) {
            take();
            if (handed_ == events_.size())
                return std::nullopt;
            continue;
        }
        process_.waitForReadyRead(int(left));
    }
}

void Process::readUntil(qint64 atUs)
{
    for (;;) {
        take();
        const qint64 left = atUs - elapsedUs();
        if (left <= 0 || !running())
            return;
        // Short waits: the moment matters to the millisecond.
        process_.waitForReadyRead(int(std::max<qint64>(1, left / 1000)));
    }
}

void Process::kill()
{
    if (running())
        ::kill(pid_t(process_.processId()), SIGKILL);
    process_.waitForFinished(10000);
    take();
}

int Process::finish(int timeoutMs)
{
    // waitForFinished() is false for a process that has already ended.
    if (running() && !process_.waitForFinished(timeoutMs)) {
        kill();
        return -1;
    }
    take();
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

void Process::send(const QByteArray &bytes)
{
    process_.write(bytes);
    process_.waitForBytesWritten(1000);
}

QString Process::transcript() const
{
    QStringList out;
    for (const Event &e : events_)
        out << QString(e.kind) + u' ' + e.text;
    return out.join(u'\n');
}

} // namespace till
