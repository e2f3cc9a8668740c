#include "print/EscPosPrinter.h"

#include "print/Cups.h"
#include "print/EscPos.h"
#include "print/OffTheLoop.h"
#include "base/AppError.h"

#include <QRegularExpression>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace print::escpos {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::atomic<int> connectLimitMs{Timeouts{}.connectMs};
std::atomic<int> answerLimitMs{Timeouts{}.answerMs};
std::atomic<int> printLimitMs{Timeouts{}.printMs};

QString seconds(int ms)
{
    return QString::number((ms + 999) / 1000);
}

const QString kForms = QStringLiteral("应写成“queue:打印队列名”(CUPS的原始队列)、设备路径(如/dev/usb/lp0)"
                                      "或“主机:端口”(如192.168.1.50:9100)");

[[noreturn]] void wrongAddress(const QString &text, const QString &why)
{
    throw AppError(QStringLiteral("ESC/POS打印机的地址“%1”%2").arg(text, why));
}

// What CUPS refuses in a queue's name.
bool validQueueName(const QString &name)
{
    if (name.isEmpty() || name.toUtf8().size() > 127)
        return false;
    for (const QChar c : name) {
        if (c.unicode() <= ' ' || c.unicode() == 0x7F || QStringLiteral("/\\?'\"#").contains(c))
            return false;
    }
    return true;
}

quint16 portOf(const QString &text, const QString &port)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,5}$"));
    const int n = digits.match(port).hasMatch() ? port.toInt() : 0;
    if (n < 1 || n > 65535)
        wrongAddress(text, QStringLiteral("中的端口“%1”不对：端口是1到65535之间的数字，网络打印机通常是9100").arg(port));
    return static_cast<quint16>(n);
}

// ---- The link to the printer -----------------------------------------------

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// A socket or an open device file, never blocking: every wait is bounded by
// a time limit, and ends when the program quits.
class Link {
public:
    Link(const Address &address, const Timeouts &limits, const std::atomic<bool> &abandon)
        : address_(address), limits_(limits), abandon_(abandon)
    {
        if (address.kind == Address::Kind::Device)
            openDevice();
        else
            connectNetwork();
    }
    ~Link()
    {
        // Answers left unread would make the system reset the connection
        // rather than close it, and a printer may drop what it holds then.
        drain();
        ::close(fd_);
    }
    Link(const Link &) = delete;
    Link &operator=(const Link &) = delete;

    // Whether the printer can answer: a device without a way back (a USB
    // printer that only takes data) cannot.
    bool twoWay() const { return twoWay_; }
    QString printer() const { return QStringLiteral("打印机“%1”").arg(address_.text); }
    const Timeouts &limits() const { return limits_; }

    // Writes every byte. Throws when the printer takes nothing for the answer
    // time limit, when the deadline passes, or when the link breaks.
    void write(const QByteArray &bytes, Clock::time_point deadline)
    {
        qsizetype at = 0;
        auto progress = Clock::now();
        while (at < bytes.size()) {
            const size_t left = static_cast<size_t>(bytes.size() - at);
            // A printer that closed the connection must not end the program
            // with SIGPIPE.
            const ssize_t n = address_.kind == Address::Kind::Network
                ? ::send(fd_, bytes.constData() + at, left, MSG_NOSIGNAL)
                : ::write(fd_, bytes.constData() + at, left);
            if (n > 0) {
                at += n;
                progress = Clock::now();
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                broken(errno);
            const auto now = Clock::now();
            if (now >= deadline)
                notPrintedInTime();
            if (now - progress >= milliseconds(limits_.answerMs))
                fail(QStringLiteral("%1在%2秒内没有接收数据(可能缺纸、上盖打开或者出了故障)，小票没有打印完整")
                         .arg(printer(), seconds(limits_.answerMs)));
            waitFor(POLLOUT, qMin(deadline, progress + milliseconds(limits_.answerMs)));
        }
    }

    // The next byte from the printer; none when the deadline passed first.
    std::optional<quint8> read(Clock::time_point deadline)
    {
        for (;;) {
            if (pending_ < received_)
                return static_cast<quint8>(buffer_[pending_++]);
            const ssize_t n = ::read(fd_, buffer_, sizeof buffer_);
            if (n > 0) {
                pending_ = 0;
                received_ = static_cast<int>(n);
                continue;
            }
            if (n == 0 && address_.kind == Address::Kind::Network)
                fail(QStringLiteral("%1断开了连接，小票没有打印完整").arg(printer()));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                broken(errno);
            if (Clock::now() >= deadline)
                return std::nullopt;
            waitFor(POLLIN, deadline);
        }
    }

    // Drops what the printer sent and nobody asked for.
    void drain()
    {
        pending_ = received_ = 0;
        if (!twoWay_)
            return;
        char scratch[256];
        while (::read(fd_, scratch, sizeof scratch) > 0) {
        }
    }

    [[noreturn]] void fail(const QString &what) const { throw AppError(refusal(what)); }

    // A receipt that failed halfway: what the system still holds for the
    // printer is dropped, so the rest of it, and its cut, do not come out
    // once the printer takes bytes again.
    void dropUnsent()
    {
        if (address_.kind == Address::Kind::Network) {
            // Closed by a reset rather than sending on.
            const linger now{1, 0};
            ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &now, sizeof now);
        } else if (::isatty(fd_)) {
            ::tcflush(fd_, TCOFLUSH);
        }
    }

private:
    [[noreturn]] void broken(int error) const
    {
        if (error == EPIPE || error == ECONNRESET || error == EIO || error == ENODEV || error == ENOTCONN)
            fail(QStringLiteral("与%1的连接断开了，小票没有打印完整").arg(printer()));
        fail(QStringLiteral("与%1通信出错(%2)，小票没有打印完整").arg(printer(), systemError(error)));
    }

    [[noreturn]] void notPrintedInTime() const
    {
        fail(QStringLiteral("%1在%2秒内没有打完小票(可能缺纸、上盖打开或者出了故障)，小票没有打印完整")
                 .arg(printer(), seconds(limits_.printMs)));
    }

    // Waits in short steps, so that a program that quits is not held up.
    void waitFor(short events, Clock::time_point until) const
    {
        if (abandon_.load())
            fail(QStringLiteral("程序退出，打印中断了"));
        const auto left = std::chrono::duration_cast<milliseconds>(until - Clock::now()).count();
        pollfd p{fd_, events, 0};
        ::poll(&p, 1, static_cast<int>(std::clamp<qint64>(left, 0, 100)));
    }

    void openDevice()
    {
        const QByteArray path = address_.device.toLocal8Bit();
        fd_ = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) {
            const int error = errno;
            if (error == ENOENT || error == ENXIO || error == ENODEV)
                fail(QStringLiteral("找不到打印机设备“%1”(打印机没有接上或者没有开机)，小票没有打印").arg(address_.device));
            if (error == EACCES || error == EPERM)
                fail(QStringLiteral("没有使用打印机设备“%1”的权限(请把这个用户加入lp组，串口是dialout组)，小票没有打印")
                         .arg(address_.device));
            if (error == EBUSY)
                fail(QStringLiteral("打印机设备“%1”正被别的程序使用，小票没有打印").arg(address_.device));
            fail(QStringLiteral("无法打开打印机设备“%1”(%2)，小票没有打印").arg(address_.device, systemError(error)));
        }
        struct stat info{};
        if (::fstat(fd_, &info) != 0 || !S_ISCHR(info.st_mode)) {
            // A plain file would keep the receipt, with its customer, on disk.
            ::close(fd_);
            fd_ = -1;
            fail(QStringLiteral("“%1”不是打印机设备，小票没有打印").arg(address_.device));
        }
        termios line{};
        if (::tcgetattr(fd_, &line) == 0) {
            // A serial line passes every byte as it is: no line ends turned
            // into two bytes, no echo, no signal characters. Its speed and
            // flow control stay as the line was set (stty).
            line.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL);
            line.c_oflag &= ~static_cast<tcflag_t>(OPOST);
            line.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
            line.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB);
            line.c_cflag |= CS8 | CREAD | CLOCAL;
            // A read with nothing to read says so (EAGAIN), never "ended".
            line.c_cc[VMIN] = 1;
            line.c_cc[VTIME] = 0;
            ::tcsetattr(fd_, TCSANOW, &line);
        }
        // A printer that only takes data refuses to be read.
        char scratch[256];
        ssize_t n;
        while ((n = ::read(fd_, scratch, sizeof scratch)) > 0) {
        }
        if (n < 0 && errno == EINVAL)
            twoWay_ = false;
    }

    void connectNetwork()
    {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_NUMERICSERV;
        addrinfo *found = nullptr;
        const QByteArray host = address_.host.toUtf8();
        const QByteArray port = QByteArray::number(address_.port);
        const int looked = ::getaddrinfo(host.constData(), port.constData(), &hints, &found);
        if (looked != 0 || !found)
            fail(QStringLiteral("找不到网络打印机的主机“%1”，小票没有打印").arg(address_.host));
        std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, &::freeaddrinfo);
        const auto deadline = Clock::now() + milliseconds(limits_.connectMs);
        int error = ETIMEDOUT;
        for (addrinfo *a = found; a; a = a->ai_next) {
            fd_ = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
            if (fd_ < 0) {
                error = errno;
                continue;
            }
            error = connectOne(a, deadline);
            if (error == 0) {
                // The short questions about its state go at once.
                const int on = 1;
                ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                return;
            }
            ::close(fd_);
            fd_ = -1;
            if (error == ETIMEDOUT)
                break;
        }
        const QString why = error == ECONNREFUSED ? QStringLiteral("连接被拒绝，打印机没有开机或者端口不对")
            : error == ETIMEDOUT ? QStringLiteral("%1秒内没有连上，打印机没有开机或者网络不通").arg(seconds(limits_.connectMs))
            : error == ENETUNREACH || error == EHOSTUNREACH ? QStringLiteral("网络不通")
                                                             : systemError(error);
        fail(QStringLiteral("无法连接%1(%2)，小票没有打印").arg(printer(), why));
    }

    // 0 once connected, else why not.
    int connectOne(const addrinfo *a, Clock::time_point deadline)
    {
        if (::connect(fd_, a->ai_addr, a->ai_addrlen) == 0)
            return 0;
        if (errno != EINPROGRESS)
            return errno;
        while (Clock::now() < deadline) {
            waitFor(POLLOUT, deadline);
            pollfd p{fd_, POLLOUT, 0};
            if (::poll(&p, 1, 0) > 0) {
                int error = 0;
                socklen_t length = sizeof error;
                ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length);
                return error;
            }
        }
        return ETIMEDOUT;
    }

    Address address_;
    Timeouts limits_;
    const std::atomic<bool> &abandon_;
    int fd_ = -1;
    bool twoWay_ = true;
    char buffer_[256];
    int pending_ = 0;
    int received_ = 0;
};

// ---- The conversation ----------------------------------------------------

// Flow control of a serial line, which may come between answers.
bool flowControl(quint8 byte)
{
    return byte == 0x11 || byte == 0x13;
}

StatusBytes askStatus(Link &link)
{
    link.drain();
    StatusBytes status{};
    const int limit = link.limits().answerMs;
    for (int n = 1; n <= 4; ++n) {
        const auto deadline = Clock::now() + milliseconds(limit);
        link.write(statusQuery(n), deadline);
        for (;;) {
            const std::optional<quint8> answer = link.read(deadline);
            if (!answer)
                link.fail(QStringLiteral("%1在%2秒内没有回答状态查询(DLE EOT)，小票没有打印").arg(link.printer(), seconds(limit)));
            if (isStatusAnswer(*answer)) {
                status[static_cast<size_t>(n - 1)] = *answer;
                break;
            }
            if (!flowControl(*answer))
                link.fail(QStringLiteral("%1的回答(0x%2)不是ESC/POS打印机的状态，小票没有打印")
                              .arg(link.printer())
                              .arg(*answer, 2, 16, QLatin1Char('0')));
        }
    }
    return status;
}

// Returns once the printer said it worked through everything before: the
// receipt printed and cut. Answers about its state that a printer gives for
// dots of the picture it takes for a question of its own come before and
// are passed over.
void waitUntilPrinted(Link &link, Clock::time_point deadline)
{
    link.write(printedQuery(), deadline);
    for (;;) {
        const std::optional<quint8> answer = link.read(deadline);
        if (!answer)
            link.fail(QStringLiteral("%1在%2秒内没有打完小票(可能缺纸、上盖打开或者出了故障)，小票没有打印完整")
                          .arg(link.printer(), seconds(link.limits().printMs)));
        if (isPrintedAnswer(*answer))
            return;
    }
}

// The receipt printed: the drawer opens. Its failure is the drawer's alone;
// the sale has its receipt.
void openDrawer(Link &link)
{
    try {
        const auto deadline = Clock::now() + milliseconds(link.limits().answerMs);
        link.write(drawerPulse(), deadline);
        if (!link.twoWay())
            return;
        // Answered once the printer has taken the pulse, so closing the
        // connection cannot lose it.
        link.write(statusQuery(1), deadline);
        for (;;) {
            const std::optional<quint8> answer = link.read(deadline);
            if (!answer || isStatusAnswer(*answer))
                break;
        }
    } catch (const AppError &e) {
        qWarning("the cash drawer of %s did not open: %s", qPrintable(link.printer()), qPrintable(e.message()));
    }
}

void printOverLink(const Address &address, bool drawer, const QByteArray &receipt, const std::atomic<bool> &abandon)
{
    Link link(address, timeouts(), abandon);
    if (link.twoWay()) {
        const QStringList reasons = blockingReasons(askStatus(link));
        if (!reasons.isEmpty())
            link.fail(QStringLiteral("%1：%2，小票没有打印").arg(link.printer(), reasons.join(QStringLiteral("，"))));
    }
    const auto deadline = Clock::now() + milliseconds(link.limits().printMs);
    try {
        link.write(receipt, deadline);
        if (link.twoWay())
            waitUntilPrinted(link, deadline);
    } catch (const AppError &) {
        link.dropUnsent();
        throw;
    }
    if (drawer)
        openDrawer(link);
}

} // namespace

Address parseAddress(const QString &raw)
{
    const QString text = raw.trimmed();
    Address a;
    a.text = text;
    if (text.isEmpty())
        throw AppError(QStringLiteral("没有设置ESC/POS打印机的地址，") + kForms);

    if (text.startsWith(QLatin1String("queue:"), Qt::CaseInsensitive)) {
        a.kind = Address::Kind::Queue;
        a.queue = text.mid(6);
        if (a.queue.isEmpty())
            wrongAddress(text, QStringLiteral("缺少打印队列名：写成“queue:打印队列名”，如queue:Receipt"));
        if (!validQueueName(a.queue))
            wrongAddress(text, QStringLiteral("中的打印队列名不对：不能有空格、/、\\、?、#和引号，最长127个字节"));
        return a;
    }

    if (text.startsWith(QLatin1Char('/'))) {
        a.kind = Address::Kind::Device;
        a.device = text;
        return a;
    }

    if (text.contains(QLatin1String("://")))
        wrongAddress(text, QStringLiteral("无法识别，") + kForms);
    a.kind = Address::Kind::Network;
    QString host, port;
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.indexOf(QStringLiteral("]:"));
        if (close < 0)
            wrongAddress(text, QStringLiteral("不对：IPv6地址写成“[地址]:端口”，如[fe80::1]:9100"));
        host = text.mid(1, close - 1);
        port = text.mid(close + 2);
        in6_addr parsed{};
        if (::inet_pton(AF_INET6, host.toLatin1().constData(), &parsed) != 1)
            wrongAddress(text, QStringLiteral("中的IPv6地址“%1”不对").arg(host));
    } else {
        const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
        if (colon < 0) {
            static const QRegularExpression name(QStringLiteral("^[A-Za-z0-9._-]+$"));
            if (name.match(text).hasMatch())
                wrongAddress(text, QStringLiteral("缺少端口号：网络打印机写成“主机:端口”，如192.168.1.50:9100"));
            wrongAddress(text, QStringLiteral("无法识别，") + kForms);
        }
        host = text.left(colon);
        port = text.mid(colon + 1);
        if (host.contains(QLatin1Char(':')))
            wrongAddress(text, QStringLiteral("不对：IPv6地址要写在方括号里，如[fe80::1]:9100"));
        static const QRegularExpression name(
            QStringLiteral("^[A-Za-z0-9_]([A-Za-z0-9_-]*[A-Za-z0-9_])?(\\.[A-Za-z0-9_]([A-Za-z0-9_-]*[A-Za-z0-9_])?)*$"));
        if (host.isEmpty())
            wrongAddress(text, QStringLiteral("缺少主机：网络打印机写成“主机:端口”，如192.168.1.50:9100"));
        if (!name.match(host).hasMatch())
            wrongAddress(text, QStringLiteral("无法识别，") + kForms);
    }
    a.host = host;
    a.port = portOf(text, port);
    return a;
}

Timeouts timeouts()
{
    return {connectLimitMs.load(), answerLimitMs.load(), printLimitMs.load()};
}

void setTimeouts(const Timeouts &t)
{
    connectLimitMs = t.connectMs;
    answerLimitMs = t.answerMs;
    printLimitMs = t.printMs;
}

EscPosPrinter::EscPosPrinter(Address address, bool drawer) : address_(std::move(address)), drawer_(drawer) {}

void EscPosPrinter::print(report::Layout &layout, const report::Data &data, const QString &title)
{
    const QByteArray bytes = receipt(receiptImage(layout, data));
    if (address_.kind == Address::Kind::Queue) {
        // One way only: CUPS says when its backend has handed the receipt
        // over, and the drawer is a job of its own after that.
        cups::printRaw(address_.queue, bytes, title);
        if (drawer_) {
            try {
                cups::printRaw(address_.queue, drawerPulse(), title + QStringLiteral(" 钱箱"));
            } catch (const AppError &e) {
                qWarning("the cash drawer on queue %s did not open: %s", qPrintable(address_.queue),
                         qPrintable(e.message()));
            }
        }
        return;
    }
    const Address address = address_;
    const bool drawer = drawer_;
    offTheLoop([&](const std::atomic<bool> &abandon) { printOverLink(address, drawer, bytes, abandon); });
}

} // namespace print::escpos
