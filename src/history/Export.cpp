#include "history/Export.h"

#include "store/AppError.h"
#include "store/Query.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QProgressDialog>

#include <xlsxwriter.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace history {

namespace {

int progressDelayMs = 1000;
// How often a long export looks at its cancel button and redraws its progress.
constexpr qint64 kLookEveryMs = 30;
// Rows between checks that the rows written so far reached the disk.
constexpr qint64 kWriteCheckRows = 512;

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
            throw AppError(cannotWrite(target, QString::fromLocal8Bit(std::strerror(errno))));
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

    void put(lxw_row_t row, lxw_col_t column, const QString &text)
    {
        if (text.isEmpty())
            return; // an empty value is an empty cell
        const QByteArray utf8 = text.toUtf8();
        const lxw_error e = worksheet_write_string(sheet_, row, column, utf8.constData(), nullptr);
        if (e != LXW_NO_ERROR)
            throw AppError(cannotWrite(target_, QStringLiteral("第%1行第%2列：%3")
                                                    .arg(row + 1)
                                                    .arg(column + 1)
                                                    .arg(QString::fromUtf8(lxw_strerror(e)))));
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
            throw AppError(cannotWrite(target_, QString::fromUtf8(lxw_strerror(e))));
    }

private:
    QString target_;
    QByteArray tmpdir_;
    lxw_workbook *book_ = nullptr;
    lxw_worksheet *sheet_ = nullptr;
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

ExportOutcome exportList(QWidget *owner, Query &list, const QString &fileName)
{
    const QStringList columns = list.fieldNames();
    const qint64 total = list.recordCount();
    if (const QString refusal = sheetRoomRefusal(total); !refusal.isEmpty())
        throw AppError(refusal);

    const QString target = QFileInfo(fileName).absoluteFilePath();
    PartFile part(target);
    Workbook book(part.path(), target);

    for (int c = 0; c < columns.size(); ++c)
        book.put(0, static_cast<lxw_col_t>(c), columns[c]);

    // The rows are read by position: the cursor, and the grid that follows
    // it, stay put while a million rows are written, instead of scrolling
    // through each of them.
    Progress progress(owner, total);
    qint64 written = 0;
    for (;; ++written) {
        const QStringList texts = list.textsAt(static_cast<int>(written));
        if (texts.isEmpty())
            break;
        if (written >= kSheetDataRows)
            throw AppError(sheetRoomRefusal(written + 1));
        const auto row = static_cast<lxw_row_t>(written + 1);
        for (int c = 0; c < texts.size(); ++c)
            book.put(row, static_cast<lxw_col_t>(c), texts[c]);
        if ((written + 1) % kWriteCheckRows == 0)
            book.checkWrites(false);
        if (progress.cancelled(written + 1))
            return ExportOutcome::Cancelled;
    }
    book.close();
    part.becomes(target);
    // The list ends on its last row, as a walk through it would leave it.
    list.last();
    return ExportOutcome::Written;
}

} // namespace history
