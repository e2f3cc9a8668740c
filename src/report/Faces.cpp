#include "report/Faces.h"

#include <QFontDatabase>
#include <QStringList>

namespace report::faces {

namespace {
const QString kField = QStringLiteral("方正兰亭刊黑_GBK");
const QString kFieldStandIn = QStringLiteral("Noto Sans CJK SC");
const QString kSeparator = QStringLiteral("Arial");
const QString kSeparatorStandIn = QStringLiteral("Liberation Sans");
const QString kRemark = QStringLiteral("宋体");
const QString kRemarkStandIn = QStringLiteral("Noto Serif CJK SC");

QFont named(const QString &face, const QString &standIn)
{
    install();
    QFont f(face);
    f.setFamilies({face, standIn});
    return f;
}
} // namespace

void install()
{
    static const bool done = [] {
        QFont::insertSubstitution(kField, kFieldStandIn);
        QFont::insertSubstitution(kSeparator, kSeparatorStandIn);
        QFont::insertSubstitution(kRemark, kRemarkStandIn);
        QFont::insertSubstitution(QStringLiteral("SimSun"), kRemarkStandIn);
        return true;
    }();
    (void)done;
}

QFont field(qreal pointSize)
{
    QFont f = named(kField, kFieldStandIn);
    f.setPointSizeF(pointSize);
    // 刊黑 is a heavy face. The regular stand-in burns its horizontal strokes
    // one dot thin at 203 dpi, too light on a thermal printer; its bold cut
    // keeps every stroke two dots wide.
    if (!QFontDatabase::hasFamily(kField))
        f.setWeight(QFont::Bold);
    return f;
}

QFont separator()
{
    QFont f = named(kSeparator, kSeparatorStandIn);
    // Its dash is 0.28 mm thick: two dots or more at 203 dpi wherever it falls.
    f.setPointSizeF(10);
    return f;
}

QFont remarkBox()
{
    QFont f = named(kRemark, kRemarkStandIn);
    f.setPixelSize(13);
    return f;
}

} // namespace report::faces
