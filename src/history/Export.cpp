#include "history/Export.h"

#include "base/AppError.h"
#include "store/Engine.h"
#include "store/Query.h"
#include "store/Schema.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QProgressDialog>

#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <optional>
#include <cstring>
#include <unistd.h>

namespace history {

namespace {

int progressDelayMs = 1000;
// How often a long export looks at its cancel button and redraws its progress.
constexpr qint64 kLookEveryMs = 30;
// Rows between checks that the rows written so far reached the disk.
constexpr qint64 kWriteCheckRows = 512;

// What went wrong inside the spreadsheet writer, in words a shop reads.
QString xlsxErrorText(lxw_error e)
{
    switch (e) {
    case LXW_ERROR_MEMORY_MALLOC_FAILED:
        return QStringLiteral("内存不足");
    case LXW_ERROR_CREATING_XLSX_FILE:
        return QStringLiteral("无法创建文件");
    case LXW_ERROR_CREATING_TMPFILE:
    case LXW_ERROR_READING_TMPFILE:
        return QStringLiteral("无法使用临时文件(磁盘已满或没有权限)");
    case LXW_ERROR_ZIP_FILE_OPERATION:
    case LXW_ERROR_ZIP_FILE_ADD:
    case LXW_ERROR_ZIP_CLOSE:
        return QStringLiteral("无法写入文件(磁盘已满或没有权限)");
    case LXW_ERROR_MAX_STRING_LENGTH_EXCEEDED:
        return QStringLiteral("文字太长");
    default:
        return QStringLiteral("写入表格出错(代码 %1)").arg(static_cast<int>(e));
    }
}

QString cannotWrite(const QString &target, const QString &why)
{
    return QStringLiteral("无法写入文件“%1”：%2").arg(QDir::toNativeSeparators(target), why);
}

// The file being written, beside the chosen one under a name of its own; it
// is removed unless it became the chosen file.
class PartFile {
public:
    explicit PartFile(const QString &target)
    {
        const QDir dir = QFileInfo(target).absoluteDir();
        for (int n = 0;; ++n) {
            path_ = dir.filePath(QStringLiteral(".velmora-export-%1-%2.part").arg(::getpid()).arg(n));
            QFile file(path_);
            if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
                return;
            const bool taken = QFile::exists(path_);
            if (!taken || n >= 100) {
                const QString why = file.errorString();
                path_.clear();
                throw AppError(cannotWrite(target, why));
            }
        }
    }
    ~PartFile()
    {
        if (!path_.isEmpty())
            QFile::remove(path_);
    }
    PartFile(const PartFile &) = delete;
    PartFile &operator=(const PartFile &) = delete;

    const QString &path() const { return path_; }

    // The complete file takes the chosen name, replacing an older file of
    // that name in one step.
    void becomes(const QString &target)
    {
        if (::rename(QFile::encodeName(path_).constData(), QFile::encodeName(target).constData()) != 0)
            throw AppError(cannotWrite(target, store::systemErrorText(errno)));
        path_.clear();
    }

private:
    QString path_;
};

// The workbook of one export, freed with its temporary files however the
// export ends.
class Workbook {
public:
    Workbook(const QString &path, const QString &target)
        : target_(target), tmpdir_(QFile::encodeName(QFileInfo(target).absolutePath()))
    {
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;
        // The rows wait on the same disk as the file: a full disk then fails
        // the export rather than the temporary folder filling up unseen.
        options.tmpdir = tmpdir_.data();
        book_ = workbook_new_opt(QFile::encodeName(path).constData(), &options);
        if (!book_)
            throw AppError(cannotWrite(target, QStringLiteral("无法建立工作簿")));
        sheet_ = workbook_add_worksheet(book_, nullptr);
        if (!sheet_ || !sheet_->optimize_tmpfile)
            throw AppError(cannotWrite(target, QStringLiteral("无法建立临时文件")));
    }
    ~Workbook()
    {
        if (!book_)
            return;
        // The rows' temporary file is closed here, so a cancelled export
        // gives its disk space back at once.
        if (sheet_ && sheet_->optimize_tmpfile) {
            std::fclose(sheet_->optimize_tmpfile);
            sheet_->optimize_tmpfile = nullptr;
            sheet_->file = nullptr;
        }
        lxw_workbook_free(book_);
    }
    Workbook(const Workbook &) = delete;
    Workbook &operator=(const Workbook &) = delete;

    void putText(lxw_row_t row, lxw_col_t column, const QString &text)
    {
        if (text.isEmpty())
            return; // an empty value is an empty cell
        const QByteArray utf8 = text.toUtf8();
        check(row, column, worksheet_write_string(sheet_, row, column, utf8.constData(), nullptr));
    }

    void putNumber(lxw_row_t row, lxw_col_t column, double value)
    {
        check(row, column, worksheet_write_number(sheet_, row, column, value, nullptr));
    }

    // Shown as the grid shows the stored text: "2024-03-02 09:30:00".
    void putTime(lxw_row_t row, lxw_col_t column, lxw_datetime when)
    {
        if (!timeFormat_) {
            timeFormat_ = workbook_add_format(book_);
            format_set_num_format(timeFormat_, "yyyy-mm-dd hh:mm:ss");
        }
        check(row, column, worksheet_write_datetime(sheet_, row, column, &when, timeFormat_));
    }

    // Widths in characters of the sheet's font.
    void setWidth(lxw_col_t column, double width)
    {
        check(0, column, worksheet_set_column(sheet_, column, column, width, nullptr));
    }

    // The writer does not check its own writes of the rows; a disk that is
    // full shows here, before the export claims anything.
    void checkWrites(bool flush)
    {
        FILE *rows = sheet_->optimize_tmpfile;
        if (flush)
            std::fflush(rows);
        if (std::ferror(rows))
            throw AppError(cannotWrite(target_, QStringLiteral("磁盘已满或无法写入")));
    }

    void close()
    {
        checkWrites(true);
        lxw_workbook *book = book_;
        book_ = nullptr; // closing frees it, whatever the outcome
        const lxw_error e = workbook_close(book);
        if (e != LXW_NO_ERROR)
            throw AppError(cannotWrite(target_, xlsxErrorText(e)));
    }

private:
    void check(lxw_row_t row, lxw_col_t column, lxw_error e) const
    {
        if (e != LXW_NO_ERROR)
            throw AppError(cannotWrite(target_, QStringLiteral("第%1行第%2列：%3")
                                                    .arg(row + 1)
                                                    .arg(column + 1)
                                                    .arg(xlsxErrorText(e))));
    }

    QString target_;
    QByteArray tmpdir_;
    lxw_workbook *book_ = nullptr;
    lxw_worksheet *sheet_ = nullptr;
    lxw_format *timeFormat_ = nullptr;
};

// How a column's values go into the sheet, so that a shop can sum and sort
// them there: 单号 always as text (its digits are a name, leading zeros
// included), 时间 as a date and time, the number columns as numbers; a value
// that is not what its column holds goes in as the text the grid shows.
enum class CellKind { Text, Number, Time };

CellKind kindOf(const QString &column, bool numberColumn)
{
    if (column == schema::col::danhao)
        return CellKind::Text;
    if (column == schema::col::shijian)
        return CellKind::Time;
    return numberColumn ? CellKind::Number : CellKind::Text;
}

bool isNumber(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return true;
    default:
        return false;
    }
}

// The time as the checkout writes it, "yyyy-mm-dd hh:mm:ss"; anything else
// stays text. Read by hand: a million of them are read per export.
std::optional<lxw_datetime> storedTime(const QString &text)
{
    if (text.size() != 19 || text[4] != u'-' || text[7] != u'-' || text[10] != u' ' || text[13] != u':'
        || text[16] != u':')
        return std::nullopt;
    auto number = [&text](int from, int digits) {
        int n = 0;
        for (int i = from; i < from + digits; ++i) {
            const char16_t c = text[i].unicode();
            if (c < u'0' || c > u'9')
                return -1;
            n = n * 10 + (c - u'0');
        }
        return n;
    };
    const int year = number(0, 4), month = number(5, 2), day = number(8, 2);
    const int hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
    // Spreadsheets count days from 1900.
    if (year < 1900 || !QDate::isValid(year, month, day) || hour < 0 || hour > 23 || minute < 0 || minute > 59
        || second < 0 || second > 59)
        return std::nullopt;
    return lxw_datetime{year, month, day, hour, minute, static_cast<double>(second)};
}

// Columns as a spreadsheet counts them: a CJK character takes two.
int displayWidth(const QString &text)
{
    int width = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        width += (u >= 0x1100 && u <= 0x115F) || (u >= 0x2E80 && u <= 0xA4CF) || (u >= 0xAC00 && u <= 0xD7A3)
                || (u >= 0xF900 && u <= 0xFAFF) || (u >= 0xFE30 && u <= 0xFE4F) || (u >= 0xFF00 && u <= 0xFF60)
                || (u >= 0xFFE0 && u <= 0xFFE6)
            ? 2
            : 1;
    }
    return width;
}

// Each column as wide as its widest text, within bounds a screen shows.
class Widths {
public:
    explicit Widths(int columns) : widest_(columns, 0) {}
    void see(int column, const QString &text)
    {
        if (column < widest_.size())
            widest_[column] = std::max(widest_[column], displayWidth(text));
    }
    void apply(Workbook &book) const
    {
        for (int c = 0; c < widest_.size(); ++c)
            book.setWidth(static_cast<lxw_col_t>(c), std::clamp(widest_[c] + 2, 8, 60));
    }

private:
    QVector<int> widest_;
};

// Progress of a long export, shown once it has run for the progress delay.
class Progress {
public:
    Progress(QWidget *owner, qint64 total) : owner_(owner), total_(total) { clock_.start(); }
    ~Progress() { delete dialog_; }
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;

    // True once the user cancelled; cheap enough to ask after every row.
    bool cancelled(qint64 written)
    {
        const qint64 now = clock_.elapsed();
        if (now < nextLook_)
            return false;
        nextLook_ = now + kLookEveryMs;
        if (!dialog_) {
            if (now < progressDelayMs)
                return false;
            dialog_ = new QProgressDialog(owner_);
            dialog_->setObjectName(QStringLiteral("ExportProgress"));
            dialog_->setWindowTitle(QStringLiteral("导出"));
            dialog_->setCancelButtonText(QStringLiteral("取消"));
            dialog_->setWindowModality(Qt::ApplicationModal);
            dialog_->setAutoClose(false);
            dialog_->setAutoReset(false);
            dialog_->setMinimumDuration(0);
            dialog_->setRange(0, static_cast<int>(qMin<qint64>(total_, kSheetDataRows)));
            dialog_->setMinimumWidth(320);
            dialog_->show();
        }
        dialog_->setLabelText(QStringLiteral("已导出 %1 行，共 %2 行").arg(written).arg(total_));
        dialog_->setValue(static_cast<int>(qMin<qint64>(written, kSheetDataRows)));
        QCoreApplication::processEvents();
        return dialog_ && dialog_->wasCanceled();
    }

private:
    QWidget *owner_;
    qint64 total_;
    QElapsedTimer clock_;
    qint64 nextLook_ = 0;
    QPointer<QProgressDialog> dialog_;
};

} // namespace

void setProgressDelay(int milliseconds)
{
    progressDelayMs = milliseconds;
}

QString sheetRoomRefusal(qint64 listedRows)
{
    if (listedRows <= kSheetDataRows)
        return {};
    return QStringLiteral("列表中有%1张小票，超出一张工作表能放下的%2张（第一行是标题），没有导出。"
                          "请先用“查询”缩小范围，再分批导出。")
        .arg(listedRows)
        .arg(kSheetDataRows);
}

QString exportFileName(const QString &typed)
{
    if (typed.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive))
        return typed;
    // The file is a workbook of today's format: named ".xls", Excel would
    // warn that its content does not match its name.
    if (typed.endsWith(QStringLiteral(".xls"), Qt::CaseInsensitive))
        return typed.chopped(4) + QStringLiteral(".xlsx");
    return typed + QStringLiteral(".xlsx");
}

ExportOutcome exportList(QWidget *owner, Query &list, const QString &fileName)
{
    const QStringList columns = list.fieldNames();
    const qint64 total = list.recordCount();
    if (const QString refusal = sheetRoomRefusal(total); !refusal.isEmpty())
        throw AppError(refusal);

    const QString target = QFileInfo(fileName).absoluteFilePath();
    PartFile part(target);
    Workbook book(part.path(), target);

    QVector<CellKind> kinds;
    Widths widths(static_cast<int>(columns.size()));
    for (int c = 0; c < columns.size(); ++c) {
        kinds << kindOf(columns[c], list.isNumberColumn(c));
        book.putText(0, static_cast<lxw_col_t>(c), columns[c]);
        widths.see(c, columns[c]);
    }

    // The rows are read by position: the cursor, and the grid that follows
    // it, stay put while a million rows are written, instead of scrolling
    // through each of them.
    Progress progress(owner, total);
    qint64 written = 0;
    for (;; ++written) {
        const QVector<QVariant> values = list.valuesAt(static_cast<int>(written));
        if (values.isEmpty())
            break;
        if (written >= kSheetDataRows)
            throw AppError(sheetRoomRefusal(written + 1));
        const auto row = static_cast<lxw_row_t>(written + 1);
        for (int c = 0; c < values.size(); ++c) {
            const QVariant &value = values[c];
            const QString text = Query::textOf(value);
            const auto column = static_cast<lxw_col_t>(c);
            widths.see(c, text);
            const CellKind kind = kinds.value(c, CellKind::Text);
            if (kind == CellKind::Number && isNumber(value) && std::isfinite(value.toDouble()))
                book.putNumber(row, column, value.toDouble());
            else if (const auto time = kind == CellKind::Time ? storedTime(text) : std::nullopt)
                book.putTime(row, column, *time);
            else
                book.putText(row, column, text);
        }
        if ((written + 1) % kWriteCheckRows == 0)
            book.checkWrites(false);
        if (progress.cancelled(written + 1))
            return ExportOutcome::Cancelled;
    }
    widths.apply(book);
    book.close();
    part.becomes(target);
    return ExportOutcome::Written;
}

} // namespace history
