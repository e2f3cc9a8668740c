#include "print/Cups.h"

#include "report/Output.h"
#include "store/AppError.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <cups/cups.h>

namespace print {

namespace cups {

namespace {

QString lastError()
{
    const char *text = cupsLastErrorString();
    return text && *text ? QString::fromUtf8(text) : QStringLiteral("未知原因");
}

QString option(const cups_dest_t *dest, const char *name)
{
    return QString::fromUtf8(cupsGetOption(name, dest->num_options, dest->options));
}

struct DestHandle {
    cups_dest_t *dest = nullptr;
    ~DestHandle()
    {
        if (dest)
            cupsFreeDests(1, dest);
    }
};

QString millimetres(qreal mm)
{
    QString text = QString::number(mm, 'f', 2);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

// What the printer says of its state: the reason given when it was stopped
// or set to reject jobs, and its state keywords.
QStringList stateMessages(const cups_dest_t *dest)
{
    QStringList out;
    const char *uri = cupsGetOption("printer-uri-supported", dest->num_options, dest->options);
    if (!uri)
        return out;
    ipp_t *request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    static const char *const wanted[] = {"printer-state-message", "printer-state-reasons"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 2, nullptr, wanted);
    ipp_t *response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    if (!response)
        return out;
    for (const char *name : wanted) {
        ipp_attribute_t *attr = ippFindAttribute(response, name, IPP_TAG_ZERO);
        for (int i = 0; attr && i < ippGetCount(attr); ++i) {
            const QString text = QString::fromUtf8(ippGetString(attr, i, nullptr));
            if (!text.isEmpty() && text != QLatin1String("none") && !out.contains(text))
                out << text;
        }
    }
    ippDelete(response);
    return out;
}

} // namespace

Destination defaultDestination()
{
    DestHandle handle;
    handle.dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr);
    if (!handle.dest)
        throw AppError(QStringLiteral("找不到默认打印机(%1)，小票没有打印").arg(lastError()));
    Destination d;
    d.name = QString::fromUtf8(handle.dest->name);
    d.stopped = option(handle.dest, "printer-state") == QLatin1String("5");
    d.accepting = option(handle.dest, "printer-is-accepting-jobs") != QLatin1String("false");
    if (d.stopped || !d.accepting)
        d.reasons = stateMessages(handle.dest).join(QStringLiteral("; "));
    return d;
}

void requireReady(const Destination &d)
{
    const QString why = d.reasons.isEmpty() ? QString() : QStringLiteral("(%1)").arg(d.reasons);
    if (d.stopped)
        throw AppError(QStringLiteral("打印机“%1”已停止%2，小票没有打印").arg(d.name, why));
    if (!d.accepting)
        throw AppError(QStringLiteral("打印机“%1”不接受打印任务%2，小票没有打印").arg(d.name, why));
}

std::optional<std::pair<QSizeF, QSizeF>> customSizeRange(const QString &printerName)
{
    DestHandle handle;
    const QByteArray name = printerName.toUtf8();
    handle.dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, name.constData(), nullptr);
    if (!handle.dest)
        throw AppError(QStringLiteral("找不到打印机“%1”(%2)，小票没有打印").arg(printerName, lastError()));
    cups_dinfo_t *info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, handle.dest);
    if (!info)
        throw AppError(QStringLiteral("无法读取打印机“%1”支持的纸张(%2)，小票没有打印").arg(printerName, lastError()));
    std::optional<QSizeF> min, max;
    if (ipp_attribute_t *media = cupsFindDestSupported(CUPS_HTTP_DEFAULT, handle.dest, info, "media")) {
        // PWG names: custom_min_0.5x0.5in, custom_max_1000x1000mm.
        static const QRegularExpression range(QStringLiteral(R"(^custom_(min|max)_([0-9.]+)x([0-9.]+)(mm|in)$)"));
        for (int i = 0; i < ippGetCount(media); ++i) {
            const auto m = range.match(QString::fromUtf8(ippGetString(media, i, nullptr)));
            if (!m.hasMatch())
                continue;
            const qreal unit = m.captured(4) == QLatin1String("in") ? 25.4 : 1.0;
            const QSizeF size(m.captured(2).toDouble() * unit, m.captured(3).toDouble() * unit);
            (m.captured(1) == QLatin1String("min") ? min : max) = size;
        }
    }
    cupsFreeDestInfo(info);
    if (!min || !max)
        return std::nullopt;
    return std::make_pair(*min, *max);
}

void requireCustomSize(const QString &printerName, QSizeF size)
{
    const auto range = customSizeRange(printerName);
    constexpr qreal slack = 0.05;
    const bool fits = range && size.width() >= range->first.width() - slack
        && size.height() >= range->first.height() - slack && size.width() <= range->second.width() + slack
        && size.height() <= range->second.height() + slack;
    if (!fits)
        throw AppError(QStringLiteral("打印机“%1”不支持%2×%3毫米的自定义纸张，小票没有打印")
                           .arg(printerName, millimetres(size.width()), millimetres(size.height())));
}

QString mediaOption(QSizeF size)
{
    return QStringLiteral("Custom.%1x%2mm").arg(millimetres(size.width()), millimetres(size.height()));
}

int submit(const QString &printerName, const QString &pdfPath, QSizeF size, const QString &title)
{
    const QByteArray name = printerName.toUtf8();
    const QByteArray file = pdfPath.toLocal8Bit();
    const QByteArray jobTitle = title.toUtf8();
    const QByteArray media = mediaOption(size).toUtf8();
    cups_option_t *options = nullptr;
    int count = cupsAddOption("media", media.constData(), 0, &options);
    const int job = cupsPrintFile(name.constData(), file.constData(), jobTitle.constData(), count, options);
    cupsFreeOptions(count, options);
    if (job <= 0)
        throw AppError(QStringLiteral("打印机“%1”拒绝了打印任务(%2)，小票没有打印").arg(printerName, lastError()));
    return job;
}

void CupsPrinter::print(report::Layout &layout, const report::Data &data, const QString &title)
{
    const Destination destination = defaultDestination();
    requireReady(destination);
    const QSizeF size = report::pageSizeMm(layout, report::detailRows(layout, data));
    requireCustomSize(destination.name, size);
    QTemporaryDir dir;
    if (!dir.isValid())
        throw AppError(QStringLiteral("无法建立打印用的临时文件夹"));
    const QString pdf = dir.filePath(QStringLiteral("receipt.pdf"));
    report::writePdf(pdf, layout, data, title);
    submit(destination.name, pdf, size, title);
}

} // namespace cups
} // namespace print
