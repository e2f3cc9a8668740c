#include "Seed.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <sqlite3.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace bench {

namespace {

// Bumped whenever the seeded rows change, so older cached files are not reused.
constexpr int kSeedVersion = 1;

struct Product {
    const char *name;
    double price;
    bool byWeight; // sold by the jin: quantities with decimals
};

// What a small grocery sells; each comes in a few sizes below.
const Product kBase[] = {
    {"可口可乐", 3.5, false},       {"雪碧", 3.5, false},           {"农夫山泉", 2, false},
    {"康师傅冰红茶", 3, false},     {"王老吉", 4, false},           {"红牛", 6, false},
    {"康师傅红烧牛肉面", 4.5, false}, {"统一老坛酸菜面", 4.5, false}, {"今麦郎一菜一面", 3.5, false},
    {"乐事薯片原味", 7.9, false},   {"上好佳鲜虾片", 4.5, false},   {"旺旺雪饼", 9.9, false},
    {"奥利奥夹心饼干", 8.9, false}, {"德芙丝滑牛奶巧克力", 12.8, false}, {"士力架", 5.5, false},
    {"蒙牛纯牛奶", 3.2, false},     {"伊利安慕希", 5.5, false},     {"光明优倍鲜奶", 6.8, false},
    {"双汇王中王火腿肠", 1.5, false}, {"雀巢咖啡1+2", 1.8, false},  {"立顿红茶", 22.5, false},
    {"金龙鱼调和油", 69.9, false},  {"海天生抽", 12.5, false},      {"恒顺香醋", 8.8, false},
    {"太太乐鸡精", 9.9, false},     {"中盐精制盐", 2.5, false},     {"五丰大米", 39.9, false},
    {"清风抽纸", 15.8, false},      {"维达卷纸", 29.9, false},      {"蓝月亮洗衣液", 39.9, false},
    {"高露洁牙膏", 12.9, false},    {"舒肤佳香皂", 6.5, false},     {"海飞丝洗发水", 49.9, false},
    {"南孚电池5号", 9.9, false},    {"青岛啤酒", 5.5, false},       {"雪花啤酒", 4.5, false},
    {"鸡蛋", 5.68, true},           {"苹果", 6.98, true},           {"香蕉", 3.98, true},
    {"橙子", 5.98, true},           {"西红柿", 4.58, true},         {"黄瓜", 3.28, true},
    {"土豆", 1.98, true},           {"大白菜", 1.28, true},         {"五花肉", 18.8, true},
    {"鸡胸肉", 12.9, true},         {"草鱼", 11.8, true},           {"豆腐", 2.5, true},
};

struct Size {
    const char *suffix;
    double factor;
};
const Size kPacked[] = {{"", 1}, {" 大包装", 1.9}, {" 整箱", 10.8}};
const Size kLoose[] = {{"(斤)", 1}, {"(精品 斤)", 1.6}};

std::vector<std::pair<QString, double>> catalogue()
{
    std::vector<std::pair<QString, double>> all;
    for (const Product &p : kBase) {
        if (p.byWeight) {
            for (const Size &s : kLoose)
                all.emplace_back(QString::fromUtf8(p.name) + QString::fromUtf8(s.suffix),
                                 std::round(p.price * s.factor * 100) / 100);
        } else {
            for (const Size &s : kPacked)
                all.emplace_back(QString::fromUtf8(p.name) + QString::fromUtf8(s.suffix),
                                 std::round(p.price * s.factor * 10) / 10);
        }
    }
    return all;
}

bool isLoose(const QString &name)
{
    return name.endsWith(QStringLiteral("斤)"));
}

// Six cashiers; the morning and evening shifts change with the weekday.
const char *const kCashiers[] = {"admin", "张丽", "王芳", "李强", "刘洋", "陈静"};

void check(int rc, sqlite3 *db, const char *what)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "seeding: %s: %s\n", what, sqlite3_errmsg(db));
        std::exit(2);
    }
}

class Db {
public:
    explicit Db(const QString &file)
    {
        check(sqlite3_open_v2(QFile::encodeName(file).constData(), &db_, SQLITE_OPEN_READWRITE, nullptr), db_,
              "open");
    }
    ~Db() { sqlite3_close(db_); }
    void exec(const char *sql) { check(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr), db_, sql); }
    sqlite3_stmt *prepare(const char *sql)
    {
        sqlite3_stmt *s = nullptr;
        check(sqlite3_prepare_v2(db_, sql, -1, &s, nullptr), db_, sql);
        return s;
    }
    void step(sqlite3_stmt *s)
    {
        check(sqlite3_step(s), db_, "insert");
        sqlite3_reset(s);
    }
    sqlite3 *handle() const { return db_; }

private:
    sqlite3 *db_ = nullptr;
};

void text(sqlite3_stmt *s, int i, const QByteArray &t)
{
    sqlite3_bind_text(s, i, t.constData(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
}

// "yyyymmddhhmmss" and "yyyy-mm-dd hh:mm:ss" of seconds since 2021-01-01 00:00.
void formatTime(qint64 seconds, char (&number)[32], char (&time)[32])
{
    using namespace std::chrono;
    const sys_days start = year{2021} / January / 1;
    const sys_days day = start + days{seconds / 86400};
    const year_month_day ymd{day};
    const int s = static_cast<int>(seconds % 86400);
    const int y = static_cast<int>(ymd.year()), mo = static_cast<int>(unsigned(ymd.month())),
              d = static_cast<int>(unsigned(ymd.day()));
    std::snprintf(number, sizeof number, "%04d%02d%02d%02d%02d%02d", y, mo, d, s / 3600, s / 60 % 60, s % 60);
    std::snprintf(time, sizeof time, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, s / 3600, s / 60 % 60, s % 60);
}

void seed(const QString &file, qint64 tickets)
{
    Db db(file);
    db.exec("PRAGMA journal_mode=OFF");
    db.exec("PRAGMA synchronous=OFF");
    db.exec("PRAGMA cache_size=-262144");
    db.exec("BEGIN");

    const auto products = catalogue();
    sqlite3_stmt *product = db.prepare("INSERT INTO spxx (品名, 单价) VALUES (?, ?)");
    std::vector<QByteArray> names;
    for (const auto &[name, price] : products) {
        names.push_back(name.toUtf8());
        text(product, 1, names.back());
        sqlite3_bind_double(product, 2, price);
        db.step(product);
    }
    sqlite3_finalize(product);
    sqlite3_stmt *user = db.prepare("INSERT INTO username (用户名, 密码, 权限) VALUES (?, '', '普通用户')");
    for (const char *c : kCashiers) {
        if (qstrcmp(c, "admin") != 0) {
            sqlite3_bind_text(user, 1, c, -1, SQLITE_STATIC);
            db.step(user);
        }
    }
    sqlite3_finalize(user);

    sqlite3_stmt *head =
        db.prepare("INSERT INTO xstj (单号, 时间, 数量, 金额, 折后, 收银员) VALUES (?, ?, ?, ?, ?, ?)");
    sqlite3_stmt *line = db.prepare(
        "INSERT INTO xsmx (单号, 时间, 客户, 电话, 品名, 单价, 数量, 金额, 折后) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
    std::mt19937_64 random(20210101);
    std::exponential_distribution<double> gap(1.0 / 55); // seconds between tickets
    std::uniform_int_distribution<int> pick(0, static_cast<int>(products.size()) - 1);
    std::uniform_int_distribution<int> percent(0, 99);
    const QByteArray customer = QStringLiteral("王先生").toUtf8();
    const QByteArray noText;
    qint64 at = 8 * 3600;
    char number[32], time[32], phone[32];
    QElapsedTimer clock;
    clock.start();
    for (qint64 t = 0; t < tickets; ++t) {
        at += 1 + static_cast<qint64>(gap(random));
        if (at % 86400 >= 22 * 3600) // closed for the night
            at = (at / 86400 + 1) * 86400 + 8 * 3600 + percent(random) * 6;
        formatTime(at, number, time);
        const int roll = percent(random);
        const double discount = roll < 85 ? 10 : roll < 95 ? 9.5 : 8.8;
        const bool withCustomer = percent(random) < 10;
        std::snprintf(phone, sizeof phone, "138%08d", static_cast<int>(random() % 100000000));
        double quantity = 0, amount = 0, after = 0;
        for (int k = 0; k < 4; ++k) {
            const int p = pick(random);
            const double q = isLoose(products[p].first) ? (50 + percent(random) * 3) / 100.0 : 1 + percent(random) % 3;
            const double a = products[p].second * q;
            const double d = a * discount * 0.1;
            quantity += q;
            amount += a;
            after += d;
            sqlite3_bind_text(line, 1, number, 14, SQLITE_STATIC);
            sqlite3_bind_text(line, 2, time, 19, SQLITE_STATIC);
            text(line, 3, withCustomer ? customer : noText);
            if (withCustomer)
                sqlite3_bind_text(line, 4, phone, 11, SQLITE_STATIC);
            else
                sqlite3_bind_text(line, 4, "", 0, SQLITE_STATIC);
            text(line, 5, names[p]);
            sqlite3_bind_double(line, 6, products[p].second);
            sqlite3_bind_double(line, 7, q);
            sqlite3_bind_double(line, 8, a);
            sqlite3_bind_double(line, 9, d);
            db.step(line);
        }
        const int day = static_cast<int>(at / 86400);
        const bool evening = at % 86400 >= 15 * 3600;
        sqlite3_bind_text(head, 1, number, 14, SQLITE_STATIC);
        sqlite3_bind_text(head, 2, time, 19, SQLITE_STATIC);
        sqlite3_bind_double(head, 3, quantity);
        sqlite3_bind_double(head, 4, amount);
        sqlite3_bind_double(head, 5, after);
        sqlite3_bind_text(head, 6, kCashiers[(day * 2 + evening) % 6], -1, SQLITE_STATIC);
        db.step(head);
        if ((t + 1) % 250000 == 0)
            std::fprintf(stderr, "  %lld tickets, %.0f s\n", static_cast<long long>(t + 1), clock.elapsed() / 1000.0);
    }
    sqlite3_finalize(head);
    sqlite3_finalize(line);
    // No ANALYZE: a shop's file never gets one, and its statistics would
    // steer the engine to plans the program does not meet at a till.
    db.exec("COMMIT");
}

QString cacheFolder()
{
    QFile delivered(QStringLiteral(VELMORA_DELIVERED_DB));
    if (!delivered.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "no delivered data.mdb at %s\n", VELMORA_DELIVERED_DB);
        std::exit(2);
    }
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(delivered.readAll());
    hash.addData(QByteArray::number(kSeedVersion));
    const QString dir = QDir(QDir::tempPath())
                            .filePath(QStringLiteral("velmora-bench/") + QString::fromLatin1(hash.result().toHex().left(12)));
    QDir().mkpath(dir);
    return dir;
}

} // namespace

QString cachedArchive(qint64 tickets)
{
    const QString path = QDir(cacheFolder()).filePath(QStringLiteral("archive-%1.mdb").arg(tickets));
    if (QFile::exists(path))
        return path;
    std::fprintf(stderr, "seeding an archive of %lld tickets into %s\n", static_cast<long long>(tickets),
                 qPrintable(path));
    QElapsedTimer clock;
    clock.start();
    const QString part = path + QStringLiteral(".part");
    QFile::remove(part);
    if (!QFile::copy(QStringLiteral(VELMORA_DELIVERED_DB), part)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(part));
        std::exit(2);
    }
    QFile::setPermissions(part, QFile::ReadOwner | QFile::WriteOwner);
    seed(part, tickets);
    QFile::rename(part, path);
    std::fprintf(stderr, "seeded in %.1f s\n", clock.elapsed() / 1000.0);
    return path;
}

void addProducts(const QString &file, int products)
{
    Db db(file);
    db.exec("BEGIN");
    sqlite3_stmt *s = db.prepare("INSERT INTO spxx (品名, 单价) VALUES (?, ?)");
    const auto base = catalogue();
    std::mt19937 random(7);
    for (int i = 0; i < products; ++i) {
        const auto &[name, price] = base[i % base.size()];
        // Another maker's product of the same kind, with its own article number.
        text(s, 1, (name + QStringLiteral(" 货号%1").arg(100000 + i)).toUtf8());
        sqlite3_bind_double(s, 2, std::round(price * (80 + random() % 41)) / 100);
        db.step(s);
    }
    sqlite3_finalize(s);
    db.exec("COMMIT");
}

QString queriedDay()
{
    return QStringLiteral("20210215");
}

QDate dayEndDay()
{
    return QDate::fromString(queriedDay(), QStringLiteral("yyyyMMdd"));
}

QDate rangeFirstDay()
{
    return QDate(2021, 2, 1);
}

QDate rangeLastDay()
{
    return QDate(2021, 2, 28);
}

QString queriedCashier()
{
    return QStringLiteral("王芳");
}

} // namespace bench
