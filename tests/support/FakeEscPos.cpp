#include "support/FakeEscPos.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace testing {

namespace {

QString hex(quint8 byte)
{
    return QStringLiteral("0x%1").arg(byte, 2, 16, QLatin1Char('0'));
}

quint8 at(const QByteArray &bytes, qsizetype i)
{
    return static_cast<quint8>(bytes.at(i));
}

} // namespace

void EscPosReader::take(const QByteArray &bytes, const std::function<void(const QByteArray &)> &answer)
{
    pending_ += bytes;
    qsizetype i = 0;
    const auto need = [&](qsizetype n) { return pending_.size() - i >= n; };
    for (;;) {
        if (i >= pending_.size())
            break;
        const quint8 first = at(pending_, i);
        if (first == 0x1B) { // ESC
            if (!need(2))
                break;
            const quint8 second = at(pending_, i + 1);
            if (second == '@') {
                commands << QStringLiteral("ESC @");
                rows_.clear();
                rowBytes_ = -1;
                i += 2;
                continue;
            }
            if (second == 'p') {
                if (!need(5))
                    break;
                commands << QStringLiteral("ESC p %1 %2 %3")
                                .arg(at(pending_, i + 2))
                                .arg(at(pending_, i + 3))
                                .arg(at(pending_, i + 4));
                i += 5;
                continue;
            }
        } else if (first == 0x1D) { // GS
            if (!need(2))
                break;
            const quint8 second = at(pending_, i + 1);
            if (second == 'v') {
                if (!need(8))
                    break;
                if (at(pending_, i + 2) != '0') {
                    faults << QStringLiteral("GS v followed by %1").arg(hex(at(pending_, i + 2)));
                    i += 3;
                    continue;
                }
                RasterBand band;
                band.mode = at(pending_, i + 3);
                band.rowBytes = at(pending_, i + 4) + 256 * at(pending_, i + 5);
                band.lines = at(pending_, i + 6) + 256 * at(pending_, i + 7);
                const qsizetype size = 8 + qsizetype(band.rowBytes) * band.lines;
                if (!need(size))
                    break;
                commands << QStringLiteral("GS v 0");
                bands << band;
                if (band.mode != 0)
                    faults << QStringLiteral("a band in mode %1, not at normal size").arg(band.mode);
                if (rowBytes_ >= 0 && rowBytes_ != band.rowBytes)
                    faults << QStringLiteral("a band %1 bytes wide after bands %2 bytes wide")
                                  .arg(band.rowBytes)
                                  .arg(rowBytes_);
                rowBytes_ = band.rowBytes;
                for (int r = 0; r < band.lines; ++r)
                    rows_ << pending_.mid(i + 8 + qsizetype(r) * band.rowBytes, band.rowBytes);
                i += size;
                if (answer)
                    answer(QByteArray("band"));
                continue;
            }
            if (second == 'V') {
                if (!need(3))
                    break;
                const quint8 m = at(pending_, i + 2);
                const bool withFeed = m == 65 || m == 66 || m == 97 || m == 98 || m == 103 || m == 104;
                if (withFeed && !need(4))
                    break;
                commands << (withFeed ? QStringLiteral("GS V %1 %2").arg(m).arg(at(pending_, i + 3))
                                      : QStringLiteral("GS V %1").arg(m));
                const int width = qMax(0, rowBytes_) * 8;
                QImage picture(width, static_cast<int>(rows_.size()), QImage::Format_Mono);
                picture.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
                picture.fill(0);
                for (int y = 0; y < rows_.size(); ++y)
                    memcpy(picture.scanLine(y), rows_.at(y).constData(), static_cast<size_t>(rows_.at(y).size()));
                receipts << picture;
                rows_.clear();
                rowBytes_ = -1;
                i += withFeed ? 4 : 3;
                continue;
            }
            if (second == 'r') {
                if (!need(3))
                    break;
                commands << QStringLiteral("GS r %1").arg(at(pending_, i + 2));
                if (answer)
                    answer(pending_.mid(i, 3));
                i += 3;
                continue;
            }
        } else if (first == 0x10) { // DLE
            if (!need(3))
                break;
            if (at(pending_, i + 1) == 0x04) {
                commands << QStringLiteral("DLE EOT %1").arg(at(pending_, i + 2));
                if (answer)
                    answer(pending_.mid(i, 3));
                i += 3;
                continue;
            }
        }
        // Anything else a printer prints as text in its own font.
        commands << QStringLiteral("text %1").arg(hex(first));
        ++i;
    }
    pending_.remove(0, i);
}

void EscPosReader::endOfStream()
{
    if (!pending_.isEmpty())
        faults << QStringLiteral("%1 bytes of a command that never ended").arg(pending_.size());
    pending_.clear();
}

EscPosReader readEscPos(const QByteArray &bytes)
{
    EscPosReader reader;
    reader.take(bytes);
    reader.endOfStream();
    return reader;
}

FakeEscPosPrinter::FakeEscPosPrinter(Link link) : link_(link)
{
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    if (link == Link::Network) {
        listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        // A printer's receive buffer is small: a receipt mostly waits on the
        // sender's side while the printer is busy.
        const int buffer = 16 * 1024;
        ::setsockopt(listenFd_, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof addr;
        if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0
            || ::listen(listenFd_, 8) != 0
            || ::getsockname(listenFd_, reinterpret_cast<sockaddr *>(&addr), &length) != 0)
            return;
        address_ = QStringLiteral("127.0.0.1:%1").arg(ntohs(addr.sin_port));
    } else {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
            return;
        const char *name = ::ptsname(master_);
        if (!name)
            return;
        // Held open, so the terminal is not hung up between two prints.
        slaveKeeper_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (slaveKeeper_ < 0)
            return;
        address_ = QString::fromLocal8Bit(name);
    }
    thread_ = std::thread([this] { serve(); });
}

FakeEscPosPrinter::~FakeEscPosPrinter()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    if (wake_[1] >= 0)
        (void)!::write(wake_[1], "x", 1);
    if (thread_.joinable())
        thread_.join();
    for (int fd : {listenFd_, master_, slaveKeeper_, wake_[0], wake_[1]}) {
        if (fd >= 0)
            ::close(fd);
    }
}

void FakeEscPosPrinter::setStatus(const std::array<quint8, 4> &status)
{
    std::lock_guard lock(mutex_);
    status_ = status;
}

void FakeEscPosPrinter::setAnswers(bool status, bool printed)
{
    std::lock_guard lock(mutex_);
    answersStatus_ = status;
    answersPrinted_ = printed;
}

void FakeEscPosPrinter::stopReadingAfter(qint64 bytes)
{
    std::lock_guard lock(mutex_);
    readLimit_ = bytes;
}

void FakeEscPosPrinter::resumeReading()
{
    {
        std::lock_guard lock(mutex_);
        readLimit_ = -1;
    }
    (void)!::write(wake_[1], "x", 1);
}

void FakeEscPosPrinter::setAnswersInPictures(bool on)
{
    std::lock_guard lock(mutex_);
    answersInPictures_ = on;
}

void FakeEscPosPrinter::setPrintingTime(int ms)
{
    std::lock_guard lock(mutex_);
    printingMs_ = ms;
}

int FakeEscPosPrinter::printedAnswers() const
{
    return printedAnswers_.load();
}

EscPosReader FakeEscPosPrinter::reader() const
{
    std::lock_guard lock(mutex_);
    return reader_;
}

QByteArray FakeEscPosPrinter::received() const
{
    std::lock_guard lock(mutex_);
    return received_;
}

int FakeEscPosPrinter::connections() const
{
    std::lock_guard lock(mutex_);
    return connections_;
}

void FakeEscPosPrinter::settle(int quietMs) const
{
    QElapsedTimer total, quiet;
    total.start();
    quiet.start();
    qsizetype seen = received().size();
    while (quiet.elapsed() < quietMs && total.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
        const qsizetype now = received().size();
        if (now != seen) {
            seen = now;
            quiet.restart();
        }
    }
}

void FakeEscPosPrinter::answer(int fd, const QByteArray &question)
{
    // Called with the lock held.
    char reply = 0;
    if (question == "band") {
        if (!answersInPictures_)
            return;
        reply = 0x1A; // "offline", for a question nobody asked
    } else if (question.startsWith("\x10\x04")) {
        const int n = static_cast<quint8>(question.at(2));
        if (!answersStatus_ || n < 1 || n > 4)
            return;
        reply = static_cast<char>(status_[static_cast<size_t>(n - 1)]);
    } else {
        if (!answersPrinted_)
            return;
        if (printingMs_ > 0)
            QThread::msleep(static_cast<unsigned long>(printingMs_));
        reply = 0x00; // paper present
    }
    // Counted before it is sent: the program may go on (and a test look at
    // the count) as soon as the byte reaches it.
    if (question.startsWith("\x1Dr"))
        ++printedAnswers_;
    // A program that closed the connection first must not end this one
    // with SIGPIPE.
    if (fd == master_)
        (void)!::write(fd, &reply, 1);
    else
        (void)!::send(fd, &reply, 1, MSG_NOSIGNAL);
}

void FakeEscPosPrinter::serve()
{
    std::vector<int> clients;
    if (link_ == Link::Device)
        clients.push_back(master_);
    for (;;) {
        std::vector<pollfd> polled{{wake_[0], POLLIN, 0}};
        bool reading;
        {
            std::lock_guard lock(mutex_);
            if (stopping_)
                break;
            reading = readLimit_ != 0;
        }
        if (listenFd_ >= 0)
            polled.push_back({listenFd_, POLLIN, 0});
        for (int fd : clients)
            polled.push_back({fd, static_cast<short>(reading ? POLLIN : 0), 0});
        if (::poll(polled.data(), polled.size(), 200) < 0 && errno != EINTR)
            break;
        char scratch[64];
        while (::read(wake_[0], scratch, sizeof scratch) > 0) {
        }
        for (const pollfd &p : polled) {
            if (p.fd == wake_[0] || !p.revents)
                continue;
            if (p.fd == listenFd_) {
                const int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
                if (client >= 0) {
                    clients.push_back(client);
                    std::lock_guard lock(mutex_);
                    ++connections_;
                }
                continue;
            }
            char buffer[4096];
            qint64 want = sizeof buffer;
            {
                std::lock_guard lock(mutex_);
                if (readLimit_ == 0)
                    continue;
                if (readLimit_ > 0)
                    want = qMin(want, readLimit_);
            }
            const ssize_t n = ::read(p.fd, buffer, static_cast<size_t>(want));
            if (n <= 0) {
                if (n < 0 && (errno == EAGAIN || errno == EINTR))
                    continue;
                if (p.fd == master_)
                    continue;
                std::lock_guard lock(mutex_);
                reader_.endOfStream();
                ::close(p.fd);
                std::erase(clients, p.fd);
                continue;
            }
            std::lock_guard lock(mutex_);
            if (readLimit_ > 0)
                readLimit_ -= n;
            const QByteArray bytes(buffer, n);
            received_ += bytes;
            reader_.take(bytes, [&](const QByteArray &q) { answer(p.fd, q); });
        }
    }
    for (int fd : clients) {
        if (fd != master_)
            ::close(fd);
    }
}

} // namespace testing
