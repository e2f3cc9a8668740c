#pragma once
// Settings of one till that the database does not hold, in velmora.ini
// beside data.mdb (the current directory). The file is also edited by hand:
// a key is read as it stands, and writing one changes that line alone,
// keeping comments, other keys and other sections as they were.
//
//   [printer]   which printer (print/PrinterSettings.h)
//   [backup]    folder=<where the backups go> (store/Backup.h)
//   [server]    connection=<a database server>: the till keeps no data.mdb
#include <QList>
#include <QSettings>
#include <QString>
#include <memory>
#include <utility>

namespace store {

inline const QString kTillSettingsFile = QStringLiteral("velmora.ini");

class TillSettings {
public:
    // Reads the file; a missing file reads as empty. Throws AppError naming
    // the file when it is there and cannot be read.
    explicit TillSettings(const QString &path = kTillSettingsFile);
    ~TillSettings();
    const QString &path() const { return path_; }
    // A key of a section as it stands in the file, trimmed; an empty text
    // when the file, the section or the key is not there.
    QString text(const QString &section, const QString &key) const;
    bool contains(const QString &section, const QString &key) const;

private:
    QString path_;
    std::unique_ptr<QSettings> settings_;
};

// A value as QSettings reads it back unchanged: plain when it holds nothing
// the INI format gives a meaning to, quoted otherwise.
QString iniValue(const QString &value);

// Sets the keys in [section], each where it stands or after the section's
// last line, making the file or the section when missing; values go in as
// given (see iniValue). The file is replaced whole or not at all. Throws
// AppError naming the file and why, followed by `unchanged` ("打印机设置没有改变").
void setTillSettings(const QString &path, const QString &section,
                     const QList<std::pair<QString, QString>> &values, const QString &unchanged);

// The till works on a database server ([server] connection= holds one):
// it keeps no data.mdb of its own to back up. A file that cannot be read
// names no server.
bool serverConfigured(const QString &iniPath = kTillSettingsFile);

} // namespace store
