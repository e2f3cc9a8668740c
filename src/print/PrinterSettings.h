#pragma once
// Which printer a till prints on, kept per till in velmora.ini beside
// data.mdb, so an installer or a support person can set a till up without
// the window:
//
//   [printer]
//   kind=escpos            ; cups (the default) or escpos
//   address=192.168.1.50:9100
//   drawer=true            ; open the cash drawer after each receipt
#include "store/TillSettings.h"

#include <QString>

namespace print {

struct PrinterSettings {
    enum class Kind {
        Cups,   // the system's default printer, through its driver
        EscPos, // a receipt printer spoken to in ESC/POS
    };
    Kind kind = Kind::Cups;
    // ESC/POS: "queue:<name>" (a raw CUPS queue), a device path such as
    // /dev/usb/lp0, or "<host>:<port>".
    QString address;
    bool drawer = false;
};

inline const QString &kSettingsFile = store::kTillSettingsFile;

// The [printer] section of that file (velmora.ini in the current directory);
// the defaults when the file or the section is not there. Throws AppError,
// naming the file and the key, when a value cannot be understood: a till
// set up wrongly is told so, never printed on in another way.
PrinterSettings readPrinterSettings(const QString &path = kSettingsFile);

// Writes kind, address and drawer into [printer], making the file or the
// section when missing. Every other line stays as it was, comments and
// other sections included: the file is also edited by hand. The file is
// replaced whole or not at all; throws AppError when it cannot be written.
void writePrinterSettings(const PrinterSettings &settings, const QString &path = kSettingsFile);

} // namespace print
