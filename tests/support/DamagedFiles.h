#pragma once
// data.mdb files the program must refuse to open: what a shop may find in
// its folder after a failed copy, a restore of the wrong file or an old
// program's database.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace testing {

// The kinds writeDamagedDatabase() makes, with the words the refusal names:
// "empty" (0 bytes), "text", "jet" (the old program's file), "other sqlite"
// (an SQLite file of some other program), "no xsmx" (a table missing),
// "xsxx without 折后" (a column missing), "damaged" (the program's file with
// its first page broken: told as damaged, not as another program's).
QStringList damagedKinds();
void writeDamagedDatabase(const QString &path, const QString &kind);
QByteArray fileBytes(const QString &path);

// Breaks one page of a table's rows in the database file (an inner page of
// the table's leaves, not its last): a read that reaches it fails as a
// damaged file, while rows appended at the table's end are still written.
// The page's number, or 0 when the table has too few pages.
int damageTablePage(const QString &path, const QString &table);

// Root writes into read-only files and folders anyway. For its lifetime the
// thread gives up the capabilities that let it, as a shop's user has none.
class AsOrdinaryUser {
public:
    AsOrdinaryUser();
    ~AsOrdinaryUser();
    AsOrdinaryUser(const AsOrdinaryUser &) = delete;
    AsOrdinaryUser &operator=(const AsOrdinaryUser &) = delete;

private:
    struct Saved;
    Saved *saved_ = nullptr;
};

} // namespace testing
