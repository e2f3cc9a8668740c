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
// "xsxx without 折后" (a column missing).
QStringList damagedKinds();
void writeDamagedDatabase(const QString &path, const QString &kind);
QByteArray fileBytes(const QString &path);

} // namespace testing
