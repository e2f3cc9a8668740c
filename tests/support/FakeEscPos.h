#pragma once
// A receipt printer that speaks ESC/POS, inside the test (or benchmark)
// process: it listens on 127.0.0.1 or sits behind a pseudo terminal (a
// device path, as a serial printer is), reads what it is sent as a printer
// does, answers its questions about its state, and keeps each receipt as
// the picture the printer would burn.
//
// The reader is the printer's, not the program's: it knows the commands a
// receipt may use, takes every other byte for text in the printer's own font,
// and puts the raster bands of each receipt back together into one picture.
#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace testing {

struct RasterBand {
    int mode = 0; // m of GS v 0
    int rowBytes = 0;
    int lines = 0;
};

class EscPosReader {
public:
    // Reads the bytes that arrived; a command cut off at the end waits for
    // the rest. `answer` gets each question (DLE EOT n, GS r n) as it is read.
    void take(const QByteArray &bytes, const std::function<void(const QByteArray &question)> &answer = {});
    // Bytes of a command that never ended (a connection closed mid-way).
    void endOfStream();

    // Every command in order: "ESC @", "GS v 0", "GS V 66 0", "DLE EOT 1",
    // "GS r 1", "ESC p 0 25 250"; a byte of no command as "text 0x41".
    QStringList commands;
    QList<RasterBand> bands;
    // One picture per cut: the bands since the printer was initialised or
    // last cut, one above the other, 8 dots for each byte of a row.
    QList<QImage> receipts;
    // What did not make sense: bands of different widths, a cut command
    // cut short, and so on.
    QStringList faults;

private:
    QByteArray pending_;
    QList<QByteArray> rows_;
    int rowBytes_ = -1;
};

// Reads a whole stream at once.
EscPosReader readEscPos(const QByteArray &bytes);

class FakeEscPosPrinter {
public:
    enum class Link { Network, Device };
    explicit FakeEscPosPrinter(Link link = Link::Network);
    ~FakeEscPosPrinter();
    FakeEscPosPrinter(const FakeEscPosPrinter &) = delete;
    FakeEscPosPrinter &operator=(const FakeEscPosPrinter &) = delete;

    // "127.0.0.1:<port>" or the pseudo terminal's path; empty when it could
    // not be set up.
    QString address() const { return address_; }

    // The answers to DLE EOT 1 to 4; all clear (ready to print) at first.
    void setStatus(const std::array<quint8, 4> &status);
    // Whether it answers DLE EOT, and GS r (the answer that says printed).
    void setAnswers(bool status, bool printed);
    // Reads so many bytes more, then nothing until resumeReading(); -1 reads
    // on.
    void stopReadingAfter(qint64 bytes);
    void resumeReading();
    // Answers a status byte (offline) after each band, as a printer does
    // that takes dots of the picture for a question about its state.
    void setAnswersInPictures(bool on);
    // How long it takes to print what it read before a GS r, which it
    // answers only then.
    void setPrintingTime(int ms);
    // How often it said printed (answered GS r).
    int printedAnswers() const;

    // What it read so far, across connections.
    EscPosReader reader() const;
    QByteArray received() const;
    int connections() const;
    // Waits, handling the caller's events, until nothing more arrived for
    // quietMs (at most 5 s): what the program sent after a failure has come.
    void settle(int quietMs = 300) const;

private:
    void serve();
    void answer(int fd, const QByteArray &question);

    Link link_;
    QString address_;
    int listenFd_ = -1;
    int master_ = -1;
    int slaveKeeper_ = -1;
    int wake_[2] = {-1, -1};
    mutable std::mutex mutex_;
    std::array<quint8, 4> status_{0x12, 0x12, 0x12, 0x12};
    bool answersStatus_ = true;
    bool answersPrinted_ = true;
    bool answersInPictures_ = false;
    int printingMs_ = 0;
    std::atomic<int> printedAnswers_{0}; // read without the lock, held while it prints
    qint64 readLimit_ = -1; // bytes still to read; -1: no limit
    EscPosReader reader_;
    QByteArray received_;
    int connections_ = 0;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace testing
