#pragma once
// The faces receipts are set in. The layouts name Windows faces; where those
// are not installed, fixed Simplified Chinese faces stand in for them, named
// explicitly: left to fontconfig, Han text under LANG=C falls back to the
// Japanese face, and the remark's line count would depend on the machine.
#include <QFont>

namespace report::faces {

// Registers the stand-ins as substitutes of the Windows names (once).
void install();

// 方正兰亭刊黑_GBK, else Noto Sans CJK SC bold: captions, values and data fields.
QFont field(qreal pointSize);
// Arial, else Liberation Sans, 10 pt: the separators.
QFont separator();
// 宋体, else Noto Serif CJK SC, 13 pixels: the hidden remark boxes.
QFont remarkBox();

} // namespace report::faces
