#pragma once
// The bytes a receipt printer without a driver understands (ESC/POS): the
// receipt as raster images of one bit per dot, the cut, the cash drawer's
// pulse, and the printer's answers about itself.
//
// Receipts go as pictures, never as text in the printer's own font: the
// printer's font would not have the shop's Chinese, and the receipt looks the
// same on every printer and in the preview.
#include "report/Report.h"

#include <QByteArray>
#include <QImage>
#include <QStringList>
#include <array>
#include <optional>

namespace print::escpos {

// Thermal receipt printers burn 8 dots a millimetre.
constexpr qreal kDpi = 203;
// Dots a printer burns across its paper: 48 mm on 58 mm paper, 72 mm on 80 mm
// (and 76 mm) paper.
constexpr int kDots58 = 384;
constexpr int kDots80 = 576;
int printableDots(qreal paperWidthMm);

// The page as the printer burns it: drawn by the report engine at 203 dpi, one
// bit per dot, and cut to the printable width around the middle of the paper
// (a narrower page is centred in white). Throws AppError when the page
// cannot be drawn.
QImage receiptImage(report::Layout &layout, const report::Data &data);

// Lines per raster image: a band small enough for the receive buffer of the
// smallest printers.
constexpr int kBandLines = 24;

// ESC @: the printer back to its settings at power-on.
QByteArray initialise();
// GS v 0, one command per band of at most bandLines lines; a dot is black
// where the picture is dark. A width that is not a multiple of 8 is filled up
// with white to the byte.
QByteArray raster(const QImage &picture, int bandLines = kBandLines);
// GS V 66 0: fed to the cutter and cut, a strip left so the receipt does
// not drop.
QByteArray feedAndCut();
// ESC p 0 t1 t2: a pulse on pin 2 of the drawer connector, t1 × 2 ms on,
// t2 × 2 ms off.
QByteArray drawerPulse(int onUnits = 25, int offUnits = 250);
// The whole receipt: initialised, the picture, fed and cut.
QByteArray receipt(const QImage &picture, int bandLines = kBandLines);

// DLE EOT n (n = 1 to 4): the printer answers at once with one byte, even
// while it is offline or busy.
QByteArray statusQuery(int n);
// GS r 1: answered only once the printer has worked through everything sent
// before it, so its answer says the receipt has been printed.
QByteArray printedQuery();

// Whether a byte can be an answer to DLE EOT: bits 1 and 4 set, 0 and 7
// clear. An answer to GS r has bit 4 clear, so the two are told apart.
bool isStatusAnswer(quint8 byte);
bool isPrintedAnswer(quint8 byte);

// The answers to DLE EOT 1 to 4: printer, offline cause, error cause, paper.
using StatusBytes = std::array<quint8, 4>;
// What keeps the printer from printing, in the cashier's words (缺纸,
// 上盖打开, 脱机, ...); empty when it can print. A paper roll near its end, a
// drawer open or the feed button do not keep it from printing.
QStringList blockingReasons(const StatusBytes &status);

} // namespace print::escpos
