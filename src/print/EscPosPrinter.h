#pragma once
// A receipt printer without a driver that takes custom page sizes, spoken to
// in ESC/POS: the receipt drawn as it prints elsewhere, sent as raster
// images, fed and cut, and the cash drawer opened after it.
//
// It is reached through a raw CUPS queue (the queue's backend talks to the
// device, the job is followed to completion as for any receipt), a device
// file (/dev/usb/lp0, a serial line) or the network (TCP, usually port
// 9100). Over a device or the network the printer answers: it is asked for
// its state before the receipt goes (no paper, its cover open, offline or a
// fault refuse the print, as a stopped queue does), and after it, for the
// answer that comes only once the receipt has been printed.
//
// Every wait runs on a worker thread with short time limits; the calling
// thread goes on handling its events.
#include "print/Printer.h"

#include <QString>

namespace print::escpos {

struct Address {
    enum class Kind { Queue, Device, Network };
    Kind kind = Kind::Network;
    QString text; // as written, to name the printer to the cashier
    QString queue; // Queue
    QString device; // Device: an absolute path
    QString host; // Network: a name, an IPv4 address or an IPv6 one without brackets
    quint16 port = 0;
};

// "queue:<name>", an absolute device path, or "<host>:<port>" ("[<IPv6>]:<port>").
// Throws AppError saying what is wrong and how it is written.
Address parseAddress(const QString &text);

struct Timeouts {
    int connectMs = 5000; // reaching the printer: connecting, opening the device
    int answerMs = 5000; // an answer about its state; a write that makes no progress
    int printMs = 30000; // from the first byte of a receipt until the printer said it printed it
};
Timeouts timeouts();
// Tests shorten them.
void setTimeouts(const Timeouts &timeouts);

class EscPosPrinter : public Printer {
public:
    // Drawer: the cash drawer's pulse follows each receipt that printed.
    EscPosPrinter(Address address, bool drawer);
    void print(report::Layout &layout, const report::Data &data, const QString &title) override;

private:
    Address address_;
    bool drawer_;
};

} // namespace print::escpos
