#include "print/Cups.h"

#include "print/OffTheLoop.h"
#include "report/Output.h"
#include "base/AppError.h"

#include <QBuffer>
#include <QFile>
#include <QRegularExpression>
#include <atomic>
#include <chrono>
#include <cups/cups.h>
#include <functional>
#include <thread>

namespace print::cups {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::atomic<int> serviceLimitMs{Timeouts{}.serviceMs};
std::atomic<int> jobLimitMs{Timeouts{}.jobMs};

QString seconds(int ms)
{
    return QString::number((ms + 999) / 1000);
}

// ---- The cashier's words ---------------------------------------------------

struct Reason {
    const char *keyword;
    const char *text;
    bool blocks;
};

// printer-state-reasons keywords (RFC 8011, PWG 5100.9 and CUPS's own).
const Reason kReasons[] = {
    {"media-empty", "缺纸", true},
    {"media-needed", "需要装纸", true},
    {"media-jam", "卡纸", true},
    {"offline", "脱机", true},
    {"cover-open", "上盖打开", true},
    {"door-open", "机门打开", true},
    {"interlock-open", "机盖打开", true},
    {"connecting-to-device", "无法连接打印机", true},
    {"shutdown", "打印机已关机", true},
    {"paused", "已暂停", false},
    {"stopping", "正在停止", false},
    {"moving-to-paused", "正在暂停", false},
    {"stopped-partly", "部分功能停止", false},
    {"hold-new-jobs", "暂停接收新任务", false},
    {"deactivated", "已停用", false},
    {"timed-out", "打印机没有响应", false},
    {"media-low", "纸快用完了", false},
    {"input-tray-missing", "纸仓没有装好", false},
    {"output-tray-missing", "出纸盒没有装好", false},
    {"output-area-full", "出纸口满了", false},
    {"output-area-almost-full", "出纸口快满了", false},
    {"marker-supply-empty", "色带或墨粉用完了", false},
    {"marker-supply-low", "色带或墨粉快用完了", false},
    {"toner-empty", "墨粉用完了", false},
    {"toner-low", "墨粉快用完了", false},
    {"spool-area-full", "打印服务的磁盘满了", false},
    {"other", "其他故障", false},
    {"cups-missing-filter", "缺少打印驱动的转换程序", false},
    {"cups-insecure-filter", "打印驱动的转换程序不安全", false},
    {"cups-waiting-for-job-completed", "正在等待打印机打完", false},
};

// What CUPS's backends and scheduler usually say in printer-state-message.
const std::pair<const char *, const char *> kMessages[] = {
    {"The printer may not exist or is unavailable at this time.", "无法连接打印机，打印机可能没有开机或不存在"},
    {"The printer is unreachable at this time.", "无法连接打印机，网络不通"},
    {"The printer is in use.", "打印机正忙，无法连接"},
    {"The printer is not responding.", "打印机没有响应"},
    {"The printer is not connected.", "打印机没有连接"},
    {"Connecting to printer.", "正在连接打印机"},
    {"Unable to send data to printer.", "无法向打印机发送数据"},
    {"Waiting for printer to become available.", "正在等待打印机"},
    {"Waiting for printer to finish.", "正在等待打印机打完"},
    {"Printer stopped due to backend errors; please consult the error_log file for details.",
     "打印机的后端程序出错，打印机已停止"},
    {"Filter failed", "打印驱动的转换程序出错"},
    {"Paused", "已暂停"},
    {"Ready to print.", "准备就绪"},
};

// The keyword without its severity suffix.
QString bareReason(const QString &keyword)
{
    for (const char *suffix : {"-error", "-warning", "-report"}) {
        if (keyword.endsWith(QLatin1String(suffix)))
            return keyword.chopped(static_cast<int>(qstrlen(suffix)));
    }
    return keyword;
}

const Reason *findReason(const QString &keyword)
{
    const QString bare = bareReason(keyword);
    for (const Reason &r : kReasons) {
        if (bare == QLatin1String(r.keyword))
            return &r;
    }
    return nullptr;
}

// The reasons and the message as one text: each reason in Chinese, then the
// message where it says more; `said` are reasons the caller's text already
// gives ("已停止" says "paused").
QString describe(const QStringList &reasons, const QString &message, const QStringList &said = {})
{
    QStringList parts, saidTexts;
    for (const QString &s : said)
        saidTexts << reasonText(s);
    for (const QString &keyword : reasons) {
        if (keyword == QLatin1String("none") || said.contains(bareReason(keyword)))
            continue;
        const QString text = reasonText(keyword);
        if (!parts.contains(text))
            parts << text;
    }
    const QString text = messageText(message);
    if (!text.isEmpty() && !parts.contains(text) && !saidTexts.contains(text))
        parts << text;
    return parts.join(QStringLiteral("，"));
}

QString inParentheses(const QString &text)
{
    return text.isEmpty() ? QString() : QStringLiteral("(%1)").arg(text);
}

QString millimetres(qreal mm)
{
    QString text = QString::number(mm, 'f', 2);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

// An IPP status in the cashier's words; CUPS's own text after a Chinese lead
// where there is none.
QString statusText(ipp_status_t status, const QString &cupsText)
{
    switch (status) {
    case IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS: return QStringLiteral("打印机不接受打印任务");
    case IPP_STATUS_ERROR_NOT_FOUND: return QStringLiteral("打印服务找不到打印机或打印任务");
    case IPP_STATUS_ERROR_FORBIDDEN:
    case IPP_STATUS_ERROR_NOT_AUTHORIZED:
    case IPP_STATUS_ERROR_NOT_AUTHENTICATED:
    case IPP_STATUS_ERROR_CUPS_AUTHENTICATION_CANCELED: return QStringLiteral("没有使用这台打印机的权限");
    case IPP_STATUS_ERROR_DOCUMENT_FORMAT_NOT_SUPPORTED: return QStringLiteral("打印机不支持小票的文件格式");
    case IPP_STATUS_ERROR_ATTRIBUTES_OR_VALUES:
    case IPP_STATUS_ERROR_CONFLICTING: return QStringLiteral("打印机不支持小票的打印设置");
    case IPP_STATUS_ERROR_TOO_MANY_JOBS:
    case IPP_STATUS_ERROR_BUSY: return QStringLiteral("打印机正忙");
    case IPP_STATUS_ERROR_SERVICE_UNAVAILABLE: return QStringLiteral("打印服务(CUPS)暂时无法使用");
    default: break;
    }
    return QStringLiteral("打印服务(CUPS)报告错误") + inParentheses(cupsText);
}

// ---- The print service -----------------------------------------------------

// Where the print service is, as the calling thread's libcups sees it
// (cupsSetServer, CUPS_SERVER, client.conf): libcups keeps it per thread.
struct Service {
    QByteArray server;
    int port = 631;
    http_encryption_t encryption = HTTP_ENCRYPTION_IF_REQUESTED;
    Timeouts limits;
};

Service serviceHere()
{
    return {QByteArray(cupsServer()), ippPort(), cupsEncryption(), timeouts()};
}

using Response = std::unique_ptr<ipp_t, decltype(&ippDelete)>;

// One connection to the print service, each call on it bounded by the
// service time limit. libcups waits 60 s for an answer by default; here it
// waits in short steps and gives up at the limit.
class Session {
public:
    Session(const Service &service, const std::atomic<bool> &abandon) : service_(service), abandon_(abandon)
    {
        // This worker thread's libcups talks to the same service.
        cupsSetServer(service.server.constData());
        ippSetPort(service.port);
        cupsSetEncryption(service.encryption);
        const auto started = Clock::now();
        http_ = httpConnect2(service.server.constData(), service.port, nullptr, AF_UNSPEC, service.encryption, 1,
                             service.limits.serviceMs, nullptr);
        if (!http_) {
            if (Clock::now() - started >= milliseconds(service.limits.serviceMs))
                throw AppError(refusal(noAnswer() + QStringLiteral("，小票没有打印")));
            throw AppError(refusal(QStringLiteral("打印服务(CUPS)没有运行，小票没有打印")));
        }
        httpSetTimeout(http_, 0.1, &Session::stillWaiting, this);
    }
    ~Session() { httpClose(http_); }
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    http_t *http() const { return http_; }
    const Timeouts &limits() const { return service_.limits; }
    bool abandoned() const { return abandon_.load(); }

    // Starts the time limit of the next call.
    void arm()
    {
        deadline_ = Clock::now() + milliseconds(service_.limits.serviceMs);
        timedOut_ = false;
    }

    // The call just made failed: the connection may sit in the middle of an
    // answer, so the next call starts on a new one.
    void failed() { broken_ = true; }
    bool reconnect()
    {
        if (!broken_)
            return true;
        broken_ = false;
        return httpReconnect2(http_, service_.limits.serviceMs, nullptr) == 0;
    }

    // Why the call just made failed, when the print service itself is the
    // reason (no answer in time, a broken connection); empty otherwise.
    QString serviceFault() const
    {
        if (timedOut_)
            return noAnswer();
        const int error = httpError(http_);
        if (error != 0 && error != EINVAL)
            return QStringLiteral("与打印服务(CUPS)的连接断开了");
        return {};
    }
    // Why the call just made failed, in the cashier's words.
    QString why() const
    {
        const QString fault = serviceFault();
        return fault.isEmpty() ? statusText(cupsLastError(), QString::fromUtf8(cupsLastErrorString())) : fault;
    }

    QString noAnswer() const
    {
        return QStringLiteral("打印服务(CUPS)在%1秒内没有响应").arg(seconds(service_.limits.serviceMs));
    }

    // An IPP request, answered within the limit; null when it was not or
    // when the service refused it.
    Response ask(ipp_t *request, const char *resource = "/")
    {
        arm();
        Response response(cupsDoRequest(http_, request, resource), &ippDelete);
        if (!response || ippGetStatusCode(response.get()) > IPP_STATUS_OK_EVENTS_COMPLETE) {
            failed();
            return Response(nullptr, &ippDelete);
        }
        return response;
    }

private:
    // libcups asks every 0.1 s without an answer whether to go on waiting.
    // A program that quits still waits out the call, so the job it
    // follows can be cancelled.
    static int stillWaiting(http_t *, void *data)
    {
        auto *self = static_cast<Session *>(data);
        if (Clock::now() < self->deadline_)
            return 1;
        self->timedOut_ = true;
        return 0;
    }

    Service service_;
    const std::atomic<bool> &abandon_;
    http_t *http_ = nullptr;
    Clock::time_point deadline_;
    bool timedOut_ = false;
    bool broken_ = false;
};

// Runs the work on a worker thread, on a connection of its own to the print
// service this thread's libcups talks to; the calling thread handles its
// events meanwhile.
void offTheLoop(const std::function<void(Session &)> &work)
{
    const Service service = serviceHere();
    print::offTheLoop([&](const std::atomic<bool> &abandon) {
        Session session(service, abandon);
        work(session);
    });
}

QByteArray printerUri(const QByteArray &name)
{
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(), "/printers/%s",
                     name.constData());
    return QByteArray(uri);
}

QStringList strings(ipp_t *response, const char *name)
{
    QStringList out;
    ipp_attribute_t *attr = ippFindAttribute(response, name, IPP_TAG_ZERO);
    for (int i = 0; attr && i < ippGetCount(attr); ++i) {
        const QString text = QString::fromUtf8(ippGetString(attr, i, nullptr));
        if (!text.isEmpty() && text != QLatin1String("none"))
            out << text;
    }
    return out;
}

int integer(ipp_t *response, const char *name)
{
    ipp_attribute_t *attr = ippFindAttribute(response, name, IPP_TAG_ZERO);
    return attr ? ippGetInteger(attr, 0) : 0;
}

std::optional<SizeRange> customRangeOf(const QStringList &media)
{
    // PWG names: custom_min_0.5x0.5in, custom_max_1000x1000mm.
    static const QRegularExpression range(QStringLiteral(R"(^custom_(min|max)_([0-9.]+)x([0-9.]+)(mm|in)$)"));
    std::optional<QSizeF> min, max;
    for (const QString &name : media) {
        const auto m = range.match(name);
        if (!m.hasMatch())
            continue;
        const qreal unit = m.captured(4) == QLatin1String("in") ? 25.4 : 1.0;
        const QSizeF size(m.captured(2).toDouble() * unit, m.captured(3).toDouble() * unit);
        (m.captured(1) == QLatin1String("min") ? min : max) = size;
    }
    if (!min || !max)
        return std::nullopt;
    return std::make_pair(*min, *max);
}

// The printer's state as it is now; none when the service did not say.
std::optional<Destination> askPrinterState(Session &s, const QString &name, const QByteArray &uri)
{
    ipp_t *request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    static const char *const wanted[] = {"printer-state", "printer-state-reasons", "printer-state-message",
                                         "printer-is-accepting-jobs", "media-supported"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  static_cast<int>(std::size(wanted)), nullptr, wanted);
    const Response response = s.ask(request);
    if (!response)
        return std::nullopt;
    Destination d;
    d.name = name;
    d.uri = QString::fromUtf8(uri);
    d.stopped = integer(response.get(), "printer-state") == IPP_PSTATE_STOPPED;
    ipp_attribute_t *accepting = ippFindAttribute(response.get(), "printer-is-accepting-jobs", IPP_TAG_BOOLEAN);
    d.accepting = !accepting || ippGetBoolean(accepting, 0);
    d.reasons = strings(response.get(), "printer-state-reasons");
    d.message = strings(response.get(), "printer-state-message").value(0);
    d.customSizes = customRangeOf(strings(response.get(), "media-supported"));
    return d;
}

Destination printerState(Session &s, const QString &name, const QByteArray &uri)
{
    if (auto d = askPrinterState(s, name, uri))
        return *d;
    throw AppError(refusal(QStringLiteral("无法读取打印机“%1”的状态(%2)，小票没有打印").arg(name, s.why())));
}

// The default printer's name as the user set it, where libcups looks for it
// before it asks the server: only to name it when it is missing.
QString userDefaultName()
{
    for (const char *variable : {"LPDEST", "PRINTER"}) {
        const QString name = qEnvironmentVariable(variable);
        if (!name.isEmpty() && !(qstrcmp(variable, "PRINTER") == 0 && name == QLatin1String("lp")))
            return name;
    }
    const QString serverRoot = qEnvironmentVariableIsSet("CUPS_SERVERROOT") ? qEnvironmentVariable("CUPS_SERVERROOT")
                                                                            : QStringLiteral("/etc/cups");
    for (const QString &path : {qEnvironmentVariable("HOME") + QStringLiteral("/.cups/lpoptions"),
                                serverRoot + QStringLiteral("/lpoptions")}) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : file.readAll().split('\n')) {
            const QList<QByteArray> words = line.simplified().split(' ');
            if (words.size() >= 2 && words[0].compare("Default", Qt::CaseInsensitive) == 0)
                return QString::fromUtf8(words[1]);
        }
    }
    return {};
}

Destination findDefault(Session &s)
{
    s.arm();
    cups_dest_t *dest = cupsGetNamedDest(s.http(), nullptr, nullptr);
    if (!dest) {
        s.failed();
        const QString fault = s.serviceFault();
        if (!fault.isEmpty())
            throw AppError(refusal(fault + QStringLiteral("，小票没有打印")));
        if (cupsLastError() != IPP_STATUS_ERROR_NOT_FOUND && cupsLastError() != IPP_STATUS_OK)
            throw AppError(refusal(QStringLiteral("无法找到默认打印机(%1)，小票没有打印").arg(s.why())));
        const QString name = userDefaultName();
        if (name.isEmpty())
            throw AppError(refusal(QStringLiteral("没有设置默认打印机，小票没有打印")));
        throw AppError(refusal(QStringLiteral("找不到默认打印机“%1”，小票没有打印").arg(name)));
    }
    const QByteArray name(dest->name);
    const char *uri = cupsGetOption("printer-uri-supported", dest->num_options, dest->options);
    const QByteArray printer = uri ? QByteArray(uri) : printerUri(name);
    cupsFreeDests(1, dest);
    return printerState(s, QString::fromUtf8(name), printer);
}

// A queue named in the program's own settings, with its state.
Destination namedDestination(Session &s, const QString &name)
{
    if (auto d = askPrinterState(s, name, printerUri(name.toUtf8())))
        return *d;
    const QString fault = s.serviceFault();
    if (!fault.isEmpty())
        throw AppError(refusal(fault + QStringLiteral("，小票没有打印")));
    if (cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND)
        throw AppError(refusal(QStringLiteral("打印服务(CUPS)中没有打印机“%1”，小票没有打印").arg(name)));
    throw AppError(refusal(QStringLiteral("无法读取打印机“%1”的状态(%2)，小票没有打印").arg(name, s.why())));
}

struct JobState {
    int state = 0; // 0: not known
    QStringList reasons; // the printer's, as the job last saw them
    QString message;
};

JobState jobState(Session &s, int job)
{
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(), "/jobs/%d", job);
    ipp_t *request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    static const char *const wanted[] = {"job-state", "job-printer-state-reasons", "job-printer-state-message"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  static_cast<int>(std::size(wanted)), nullptr, wanted);
    const Response response = s.ask(request);
    if (!response)
        return {};
    return {integer(response.get(), "job-state"), strings(response.get(), "job-printer-state-reasons"),
            strings(response.get(), "job-printer-state-message").value(0)};
}

// Cancels the job and waits until CUPS has stopped it (its filters and
// backend ended); its last state, 0 when the service did not say.
int cancelJob(Session &s, const QByteArray &printer, int job)
{
    if (!s.reconnect())
        return 0;
    s.arm();
    if (cupsCancelJob2(s.http(), printer.constData(), job, 0) != IPP_STATUS_OK)
        s.failed(); // one that ended meanwhile cannot be cancelled: its state tells
    const auto until = Clock::now() + milliseconds(s.limits().serviceMs);
    for (;;) {
        if (!s.reconnect())
            return 0;
        const int state = jobState(s, job).state;
        if (state >= IPP_JSTATE_CANCELED || Clock::now() >= until)
            return state;
        std::this_thread::sleep_for(milliseconds(20));
    }
}

// The job did not print and must not print later: it is cancelled, and the
// cashier told why. Returns only when it completed after all meanwhile.
void stopJob(Session &s, const QByteArray &printer, int job, const QString &what)
{
    const int state = cancelJob(s, printer, job);
    if (state == IPP_JSTATE_COMPLETED)
        return;
    if (state == IPP_JSTATE_CANCELED || state == IPP_JSTATE_ABORTED)
        throw AppError(refusal(what + QStringLiteral("，打印任务已取消")));
    throw AppError(refusal(what
                           + QStringLiteral("。打印任务%1没能取消，打印机恢复后可能还会打出这张小票，"
                                            "请先在打印机上取消它")
                                 .arg(job)));
}

// What goes to CUPS: a PDF on a page of its own size, or bytes in the
// printer's own language that no filter touches.
struct Document {
    const QByteArray &bytes;
    const char *format;
    std::optional<QSizeF> sizeMm; // the page of a PDF
};

int submitOn(Session &s, const QString &printer, const Document &document, const QByteArray &title)
{
    const QByteArray name = printer.toUtf8();
    cups_option_t *options = nullptr;
    int count = 0;
    if (document.sizeMm) {
        const QByteArray media = mediaOption(*document.sizeMm).toUtf8();
        count = cupsAddOption("media", media.constData(), count, &options);
    }
    s.arm();
    const int job = cupsCreateJob(s.http(), name.constData(), title.constData(), count, options);
    cupsFreeOptions(count, options);
    if (job <= 0) {
        s.failed();
        const QString fault = s.serviceFault();
        throw AppError(refusal(
            !fault.isEmpty() ? fault + QStringLiteral("，小票没有打印")
                             : QStringLiteral("打印机“%1”拒绝了打印任务(%2)，小票没有打印").arg(printer, s.why())));
    }
    // The receipt goes from memory: no file holds it, not even after a kill.
    bool sent = false;
    s.arm();
    if (cupsStartDocument(s.http(), name.constData(), job, title.constData(), document.format, 1)
        == HTTP_STATUS_CONTINUE) {
        constexpr qsizetype chunk = 64 * 1024;
        const QByteArray &bytes = document.bytes;
        sent = true;
        for (qsizetype at = 0; sent && at < bytes.size(); at += chunk) {
            s.arm();
            sent = cupsWriteRequestData(s.http(), bytes.constData() + at,
                                        static_cast<size_t>(qMin(chunk, bytes.size() - at)))
                == HTTP_STATUS_CONTINUE;
        }
        s.arm();
        sent = cupsFinishDocument(s.http(), name.constData()) == IPP_STATUS_OK && sent;
    }
    if (!sent) {
        s.failed();
        const QString fault = s.serviceFault();
        const QString why
            = QStringLiteral("打印机“%1”没有收下小票(%2)").arg(printer, fault.isEmpty() ? s.why() : fault);
        // A job without its document must not wait for one.
        stopJob(s, name, job, why);
        throw AppError(refusal(why)); // completed without its document: not printed either
    }
    return job;
}

void follow(Session &s, const QString &printer, const QByteArray &uri, int job)
{
    const QByteArray name = printer.toUtf8();
    const int limitMs = s.limits().jobMs;
    const auto limit = Clock::now() + milliseconds(limitMs);
    auto pause = milliseconds(50);
    for (;;) {
        // The printer first: a job that completes in between still counts.
        const std::optional<Destination> printerNow = askPrinterState(s, printer, uri);
        const JobState j = printerNow ? jobState(s, job) : JobState{};
        switch (j.state) {
        case IPP_JSTATE_COMPLETED: return;
        case IPP_JSTATE_ABORTED:
            throw AppError(refusal(QStringLiteral("打印机“%1”中止了打印任务%2，小票没有打印")
                                       .arg(printer, inParentheses(describe(j.reasons, j.message)))));
        case IPP_JSTATE_CANCELED:
            throw AppError(
                refusal(QStringLiteral("打印任务%1在打印机“%2”上被取消了，小票没有打印").arg(job).arg(printer)));
        case IPP_JSTATE_HELD:
            return stopJob(s, name, job, QStringLiteral("打印机“%1”把打印任务挂起了，小票没有打印").arg(printer));
        case IPP_JSTATE_STOPPED:
            return stopJob(s, name, job, QStringLiteral("打印任务在打印机“%1”上停止了，小票没有打印").arg(printer));
        case 0: {
            const QString fault = s.serviceFault();
            return stopJob(
                s, name, job,
                QStringLiteral("无法读取打印任务%1的状态(%2)").arg(job).arg(fault.isEmpty() ? s.why() : fault));
        }
        default: break;
        }
        const Destination &now = *printerNow;
        if (now.stopped)
            return stopJob(
                s, name, job,
                QStringLiteral("打印机“%1”已停止%2，小票没有打印")
                    .arg(printer, inParentheses(describe(now.reasons, now.message, {QStringLiteral("paused")}))));
        // Connecting is part of every job; a device that never answers is
        // told when the limit passes.
        QStringList blocking;
        for (const QString &r : now.reasons) {
            if (reasonBlocks(r) && bareReason(r) != QLatin1String("connecting-to-device"))
                blocking << r;
        }
        if (!blocking.isEmpty())
            return stopJob(
                s, name, job,
                QStringLiteral("打印机“%1”：%2，小票没有打印").arg(printer, describe(blocking, now.message)));
        if (Clock::now() >= limit) {
            QString why = describe(now.reasons, now.message);
            if (why.isEmpty() && j.state == IPP_JSTATE_PENDING)
                why = QStringLiteral("前面的打印任务还没有打完");
            return stopJob(
                s, name, job,
                QStringLiteral("打印机“%1”在%2秒内没有打完小票%3").arg(printer, seconds(limitMs), inParentheses(why)));
        }
        if (s.abandoned())
            return stopJob(s, name, job, QStringLiteral("程序退出，打印中断了"));
        std::this_thread::sleep_for(pause);
        pause = qMin(pause * 2, milliseconds(250));
    }
}

} // namespace

Timeouts timeouts()
{
    return {serviceLimitMs.load(), jobLimitMs.load()};
}

void setTimeouts(const Timeouts &t)
{
    serviceLimitMs = t.serviceMs;
    jobLimitMs = t.jobMs;
}

QString reasonText(const QString &keyword)
{
    if (const Reason *r = findReason(keyword))
        return QString::fromUtf8(r->text);
    return (keyword.endsWith(QLatin1String("-error")) ? QStringLiteral("打印机故障(%1)")
                                                      : QStringLiteral("打印机状态(%1)"))
        .arg(keyword);
}

bool reasonBlocks(const QString &keyword)
{
    if (keyword.endsWith(QLatin1String("-error")))
        return true;
    const Reason *r = findReason(keyword);
    return r && r->blocks;
}

QString messageText(const QString &message)
{
    const QString text = message.trimmed();
    for (const auto &[english, chinese] : kMessages) {
        if (text == QLatin1String(english))
            return QString::fromUtf8(chinese);
    }
    return text;
}

Destination defaultDestination()
{
    Destination d;
    offTheLoop([&](Session &s) { d = findDefault(s); });
    return d;
}

void requireReady(const Destination &d)
{
    if (d.stopped)
        throw AppError(
            refusal(QStringLiteral("打印机“%1”已停止%2，小票没有打印")
                        .arg(d.name, inParentheses(describe(d.reasons, d.message, {QStringLiteral("paused")})))));
    if (!d.accepting)
        throw AppError(refusal(QStringLiteral("打印机“%1”不接受打印任务%2，小票没有打印")
                                   .arg(d.name, inParentheses(describe(d.reasons, d.message)))));
    QStringList blocking;
    for (const QString &r : d.reasons) {
        if (reasonBlocks(r))
            blocking << r;
    }
    if (!blocking.isEmpty())
        throw AppError(
            refusal(QStringLiteral("打印机“%1”：%2，小票没有打印").arg(d.name, describe(blocking, d.message))));
}

void requireCustomSize(const Destination &d, QSizeF size)
{
    const auto &range = d.customSizes;
    constexpr qreal slack = 0.05;
    const bool fits = range && size.width() >= range->first.width() - slack
        && size.height() >= range->first.height() - slack && size.width() <= range->second.width() + slack
        && size.height() <= range->second.height() + slack;
    if (!fits)
        throw AppError(refusal(QStringLiteral("打印机“%1”不支持%2×%3毫米的自定义纸张，小票没有打印")
                                   .arg(d.name, millimetres(size.width()), millimetres(size.height()))));
}

std::optional<SizeRange> customSizeRange(const QString &printer)
{
    std::optional<SizeRange> range;
    offTheLoop([&](Session &s) { range = printerState(s, printer, printerUri(printer.toUtf8())).customSizes; });
    return range;
}

QString mediaOption(QSizeF size)
{
    return QStringLiteral("Custom.%1x%2mm").arg(millimetres(size.width()), millimetres(size.height()));
}

int submit(const QString &printer, const QByteArray &pdf, QSizeF size, const QString &title)
{
    int job = 0;
    offTheLoop([&](Session &s) { job = submitOn(s, printer, {pdf, CUPS_FORMAT_PDF, size}, title.toUtf8()); });
    return job;
}

void waitForJob(const QString &printer, int job)
{
    offTheLoop([&](Session &s) { follow(s, printer, printerUri(printer.toUtf8()), job); });
}

void CupsPrinter::print(report::Layout &layout, const report::Data &data, const QString &title)
{
    const QSizeF size = report::pageSizeMm(layout, data);
    QByteArray pdf;
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    try {
        report::writePdf(buffer, layout, data, title);
    } catch (const AppError &e) {
        throw AppError(refusal(e.message() + QStringLiteral("，小票没有打印")));
    }
    const QByteArray jobTitle = title.toUtf8();
    offTheLoop([&](Session &s) {
        const Destination d = findDefault(s);
        requireReady(d);
        requireCustomSize(d, size);
        const int job = submitOn(s, d.name, {pdf, CUPS_FORMAT_PDF, size}, jobTitle);
        follow(s, d.name, d.uri.toUtf8(), job);
    });
}

void printRaw(const QString &queue, const QByteArray &bytes, const QString &title)
{
    const QByteArray jobTitle = title.toUtf8();
    offTheLoop([&](Session &s) {
        const Destination d = namedDestination(s, queue);
        requireReady(d);
        const int job = submitOn(s, d.name, {bytes, CUPS_FORMAT_RAW, std::nullopt}, jobTitle);
        follow(s, d.name, d.uri.toUtf8(), job);
    });
}

} // namespace print::cups
