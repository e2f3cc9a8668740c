// The floors: what each figure would cost with nothing of the program's own,
// on the same file. The engine's C interface with prepared statements for the
// writes (one transaction, the program's rollback journal and full syncing),
// the scans (count and SUM over the table, with LIKE for a query) and the
// reads by index; libxlsxwriter alone, in constant-memory mode, for the export.
#include "Measure.h"
#include "Seed.h"

#include "store/Amounts.h"

#include <QDir>
#include <QFile>

#include <sqlite3.h>
#include <xlsxwriter.h>

#include <cstdio>
#include <cstdlib>

namespace bench {

namespace {

class Db {
public:
    Db()
    {
        if (sqlite3_open_v2("data.mdb", &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            fail("open");
        exec("PRAGMA journal_mode=DELETE");
        exec("PRAGMA synchronous=FULL");
    }
    ~Db()
    {
        for (auto &[sql, s] : statements_)
            sqlite3_finalize(s);
        sqlite3_close(db_);
    }
    [[noreturn]] void fail(const char *what)
    {
        std::fprintf(stderr, "floor: %s: %s\n", what, sqlite3_errmsg(db_));
        std::exit(2);
    }
    void exec(const char *sql)
    {
        if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
            fail(sql);
    }
    // A statement prepared once, reset for each use.
    sqlite3_stmt *statement(const char *sql)
    {
        for (auto &[text, s] : statements_) {
            if (text == sql) {
                sqlite3_reset(s);
                sqlite3_clear_bindings(s);
                return s;
            }
        }
        sqlite3_stmt *s = nullptr;
        if (sqlite3_prepare_v2(db_, sql, -1, &s, nullptr) != SQLITE_OK)
            fail(sql);
        statements_.emplace_back(sql, s);
        return s;
    }
    // Steps a statement to its end; the number of rows it gave.
    int run(sqlite3_stmt *s)
    {
        int rows = 0, rc;
        while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
            ++rows;
            for (int i = 0, n = sqlite3_column_count(s); i < n; ++i)
                sqlite3_column_text(s, i); // every value read as the program shows it
        }
        if (rc != SQLITE_DONE)
            fail(sqlite3_sql(s));
        return rows;
    }
    void text(sqlite3_stmt *s, int i, const char *t) { sqlite3_bind_text(s, i, t, -1, SQLITE_TRANSIENT); }

private:
    sqlite3 *db_ = nullptr;
    std::vector<std::pair<std::string, sqlite3_stmt *>> statements_;
};

double timed(const std::function<void()> &step)
{
    QElapsedTimer t;
    t.start();
    step();
    return ms(t);
}

// The first screen of a list: as many rows as the grid shows.
constexpr int kScreenRows = 30;

void insertLines(Db &db, int lines)
{
    db.exec("BEGIN");
    for (int i = 0; i < lines; ++i)
        db.run(db.statement("INSERT INTO xsxx (单号, 时间, 品名, 单价, 数量, 金额, 折后) VALUES ('20240305093000', "
                            "'2024-03-05 09:30:00', '康师傅红烧牛肉面', 4.5, 2, 9, 9)"));
    db.exec("COMMIT");
}

// The first page of product names a pick list shows.
constexpr const char *kFirstNames = "SELECT rowid, 品名 FROM spxx WHERE rowid > -1 ORDER BY rowid LIMIT 512";

// Start-up: the file opened and checked, the users read; with a catalogue,
// the first page of product names read too.
double startup(bool products)
{
    return timed([products] {
        Db db;
        db.run(db.statement("SELECT name, sql FROM sqlite_master"));
        db.run(db.statement("SELECT 用户名, 密码, 权限 FROM username"));
        if (products)
            db.run(db.statement(kFirstNames));
    });
}

// 添加: the catalogue's price and the line, in one transaction; with a
// catalogue, the first page of product names read again.
double add(Db &db, bool products)
{
    return timed([&] {
        db.exec("BEGIN");
        sqlite3_stmt *price = db.statement("UPDATE spxx SET 单价 = ? WHERE rowid = 1");
        sqlite3_bind_double(price, 1, 3.5);
        db.run(price);
        sqlite3_stmt *line = db.statement(
            "INSERT INTO xsxx (单号, 时间, 品名, 单价, 数量, 金额, 折后) VALUES (?, ?, ?, ?, ?, ?, ?)");
        db.text(line, 1, "20240305093000");
        db.text(line, 2, "2024-03-05 09:30:00");
        db.text(line, 3, "可口可乐");
        sqlite3_bind_double(line, 4, 3.5);
        sqlite3_bind_double(line, 5, 2);
        sqlite3_bind_double(line, 6, 7);
        sqlite3_bind_double(line, 7, 7);
        db.run(line);
        db.exec("COMMIT");
        if (products)
            db.run(db.statement(kFirstNames));
    });
}

} // namespace

int measureFloors(const Job &job)
{
    QDir::setCurrent(job.folder);
    repeat("startup", job.runs, [] { return startup(false); });
    Db db;
    repeat("add", job.runs * 2, [&] { return add(db, false); });
    db.exec("DELETE FROM xsxx");

    // A key release: the amount rules alone.
    repeat("keyup", job.runs * 20, [] {
        QElapsedTimer t;
        t.start();
        const QString a = amounts::lineAmount(QStringLiteral("3.55"), QStringLiteral("2"));
        const QString d = amounts::afterDiscount(QStringLiteral("3.55"), QStringLiteral("2"), QStringLiteral("10"));
        const double elapsed = ms(t) * 1000;
        if (a.isEmpty() || d.isEmpty())
            std::exit(2);
        return elapsed;
    });

    // The archive step: the ticket, its 20 lines and the emptied working
    // ticket in one transaction (a checkout's floor too).
    repeat("archive", job.runs * 3, [&] {
        insertLines(db, 20);
        return timed([&] {
            db.exec("BEGIN");
            sqlite3_stmt *head =
                db.statement("INSERT INTO xstj (单号, 时间, 数量, 金额, 折后, 收银员) VALUES (?, ?, 40, 180, 180, 'admin')");
            db.text(head, 1, "20240305093000");
            db.text(head, 2, "2024-03-05 09:30:00");
            db.run(head);
            sqlite3_stmt *lines = db.statement("SELECT 品名, 单价, 数量, 金额, 折后 FROM xsxx ORDER BY ID");
            sqlite3_stmt *line = nullptr;
            while (sqlite3_step(lines) == SQLITE_ROW) {
                line = db.statement("INSERT INTO xsmx (单号, 时间, 客户, 电话, 品名, 单价, 数量, 金额, 折后) "
                                    "VALUES ('20240305093000', '2024-03-05 09:30:00', '', '', ?, ?, ?, ?, ?)");
                for (int i = 0; i < 5; ++i)
                    sqlite3_bind_value(line, i + 1, sqlite3_column_value(lines, i));
                db.run(line);
            }
            sqlite3_reset(lines);
            db.run(db.statement("DELETE FROM xsxx"));
            db.exec("COMMIT");
        });
    });
    // The checkouts' tickets leave the list as they came.
    db.exec("DELETE FROM xsmx WHERE 单号 = '20240305093000'");
    db.exec("DELETE FROM xstj WHERE 单号 = '20240305093000'");

    // 统计 and 刷新: the count and sums over every ticket, and the first screen.
    const char *sums = "SELECT count(*), sum(数量), sum(金额), sum(折后) FROM xstj";
    repeat("statistics", job.runs, [&] {
        return timed([&] {
            db.run(db.statement(sums));
            db.run(db.statement("SELECT * FROM xstj ORDER BY 时间 LIMIT 30"));
        });
    });
    repeat("refresh", job.runs, [&] {
        return timed([&] {
            db.run(db.statement(sums));
            db.run(db.statement("SELECT * FROM xstj LIMIT 30"));
        });
    });
    // 查询 opened: every ticket number and every user name read.
    repeat("querywindow", job.runs, [&] {
        return timed([&] {
            db.run(db.statement("SELECT DISTINCT 单号 FROM xstj"));
            db.run(db.statement("SELECT DISTINCT 用户名 FROM username"));
        });
    });
    // A query: the LIKE scan with its count and sums, and the first screen.
    auto query = [&](const char *column, const QString &text) {
        const QByteArray pattern = (QLatin1Char('%') + text + QLatin1Char('%')).toUtf8();
        const QByteArray scan =
            QByteArray("SELECT count(*), sum(数量), sum(金额), sum(折后) FROM xstj WHERE ") + column + " LIKE ?";
        const QByteArray first = QByteArray("SELECT * FROM xstj WHERE ") + column + " LIKE ? LIMIT 30";
        return timed([&] {
            for (const QByteArray &sql : {scan, first}) {
                sqlite3_stmt *s = db.statement(sql.constData());
                db.text(s, 1, pattern.constData());
                db.run(s);
            }
        });
    };
    repeat("bynumber", job.runs, [&] { return query("单号", queriedDay()); });
    repeat("bycashier", job.runs, [&] { return query("收银员", queriedCashier()); });
    // 日结: one day's tickets in time order through the index on 时间.
    const QByteArray dayFrom = dayEndDay().toString(QStringLiteral("yyyy-MM-dd")).toUtf8();
    const QByteArray dayTo = dayEndDay().addDays(1).toString(QStringLiteral("yyyy-MM-dd")).toUtf8();
    repeat("dayend", job.runs, [&] {
        return timed([&] {
            sqlite3_stmt *s = db.statement("SELECT 单号, 时间, 数量, 金额, 折后, 收银员 FROM xstj "
                                           "WHERE 时间 >= ? AND 时间 < ? ORDER BY 时间, rowid");
            db.text(s, 1, dayFrom.constData());
            db.text(s, 2, dayTo.constData());
            db.run(s);
        });
    });
    // A month: its count and sums through the index on 时间 and its first
    // screen, every cashier, newest first and one cashier; and its summary
    // grouped by day and cashier.
    const QByteArray monthFrom = rangeFirstDay().toString(QStringLiteral("yyyy-MM-dd")).toUtf8();
    const QByteArray monthTo = rangeLastDay().addDays(1).toString(QStringLiteral("yyyy-MM-dd")).toUtf8();
    const QByteArray cashier = queriedCashier().toUtf8();
    auto month = [&](const char *condition, const char *order, bool oneCashier) {
        const QByteArray where = QByteArray(" FROM xstj WHERE 时间 >= ? AND 时间 < ?") + condition;
        const QByteArray scan = "SELECT count(*), sum(数量), sum(金额), sum(折后)" + where;
        const QByteArray first = "SELECT *" + where + " ORDER BY " + order + " LIMIT 30";
        return timed([&] {
            for (const QByteArray &sql : {scan, first}) {
                sqlite3_stmt *s = db.statement(sql.constData());
                db.text(s, 1, monthFrom.constData());
                db.text(s, 2, monthTo.constData());
                if (oneCashier)
                    db.text(s, 3, cashier.constData());
                db.run(s);
            }
        });
    };
    repeat("range", job.runs, [&] { return month("", "时间, rowid", false); });
    repeat("rangenewest", job.runs, [&] { return month("", "时间 DESC, rowid DESC", false); });
    repeat("rangecashier", job.runs, [&] { return month(" AND +收银员 = ?", "时间, rowid", true); });
    repeat("summary", job.runs, [&] {
        return timed([&] {
            sqlite3_stmt *s = db.statement("SELECT substr(时间, 1, 10), 收银员, count(*), sum(数量), sum(金额), "
                                           "sum(折后) FROM xstj WHERE 时间 >= ? AND 时间 < ? GROUP BY 1, 2");
            db.text(s, 1, monthFrom.constData());
            db.text(s, 2, monthTo.constData());
            db.run(s);
        });
    });
    // The detail: one ticket's lines by its number, and their sums.
    QByteArray number;
    sqlite3_stmt *first = db.statement("SELECT 单号 FROM xstj ORDER BY 时间 LIMIT 1");
    if (sqlite3_step(first) == SQLITE_ROW)
        number = reinterpret_cast<const char *>(sqlite3_column_text(first, 0));
    sqlite3_reset(first);
    repeat("detail", job.runs, [&] {
        return timed([&] {
            for (const char *sql : {"SELECT * FROM xsmx WHERE 单号 = ?",
                                    "SELECT count(*), sum(数量), sum(金额), sum(折后) FROM xsmx WHERE 单号 = ?"}) {
                sqlite3_stmt *s = db.statement(sql);
                db.text(s, 1, number.constData());
                db.run(s);
            }
        });
    });
    return 0;
}

int measureCatalogueFloors(const Job &job)
{
    QDir::setCurrent(job.folder);
    repeat("cat-startup", job.runs, [] { return startup(true); });
    Db db;
    repeat("cat-add", job.runs, [&] { return add(db, true); });
    db.exec("DELETE FROM xsxx");
    return 0;
}

// The export's floor, in a process of its own for its peak memory: the list's
// rows as 统计 lists them, written to a sheet in constant-memory mode as the
// program types them: numbers as numbers, 时间 as a date and time, the rest as
// text.
int measureExportFloor(const Job &job)
{
    QDir::setCurrent(job.folder);
    repeat("export", job.runs, [&] {
        QElapsedTimer t;
        t.start();
        sqlite3 *db = nullptr;
        sqlite3_open_v2("data.mdb", &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt *s = nullptr;
        sqlite3_prepare_v2(db, "SELECT * FROM xstj ORDER BY 时间", -1, &s, nullptr);
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;
        lxw_workbook *book = workbook_new_opt("floor.xlsx", &options);
        lxw_worksheet *sheet = workbook_add_worksheet(book, nullptr);
        lxw_format *time = workbook_add_format(book);
        format_set_num_format(time, "yyyy-mm-dd hh:mm:ss");
        const int columns = sqlite3_column_count(s);
        for (int c = 0; c < columns; ++c)
            worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(c), sqlite3_column_name(s, c), nullptr);
        lxw_row_t row = 1;
        while (sqlite3_step(s) == SQLITE_ROW) {
            for (int c = 0; c < columns; ++c) {
                const auto column = static_cast<lxw_col_t>(c);
                if (sqlite3_column_type(s, c) == SQLITE_FLOAT || sqlite3_column_type(s, c) == SQLITE_INTEGER) {
                    worksheet_write_number(sheet, row, column, sqlite3_column_double(s, c), nullptr);
                    continue;
                }
                const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(s, c));
                lxw_datetime when{};
                if (c == 1 && text
                    && std::sscanf(text, "%4d-%2d-%2d %2d:%2d:%2lf", &when.year, &when.month, &when.day, &when.hour,
                                   &when.min, &when.sec)
                        == 6)
                    worksheet_write_datetime(sheet, row, column, &when, time);
                else if (text && *text)
                    worksheet_write_string(sheet, row, column, text, nullptr);
            }
            ++row;
        }
        sqlite3_finalize(s);
        sqlite3_close(db);
        if (workbook_close(book) != LXW_NO_ERROR) {
            std::fprintf(stderr, "floor: the sheet could not be written\n");
            std::exit(2);
        }
        QFile::remove(QStringLiteral("floor.xlsx"));
        return ms(t) / 1000;
    });
    sample("exportpeak", peakRssMiB());
    return 0;
}

} // namespace bench
