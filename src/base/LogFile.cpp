#include "base/LogFile.h"

#include <QDateTime>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <cstdio>

namespace logfile {

namespace {

struct State {
    QMutex mutex;
    QFile file;
    Limits limits;
    QtMessageHandler previous = nullptr;
    bool installed = false;
};

State &state()
{
    static State s;
    return s;
}

const char *levelName(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg: return "debug";
    case QtInfoMsg: return "info";
    case QtWarningMsg: return "warning";
    case QtCriticalMsg: return "critical";
    case QtFatalMsg: return "fatal";
    }
    return "?";
}

// velmora.log -> .1 -> .2 ... the oldest beyond `keep` is dropped.
void rotate(State &s)
{
    const QString base = s.file.fileName();
    s.file.close();
    QFile::remove(base + QStringLiteral(".%1").arg(s.limits.keep));
    for (int i = s.limits.keep - 1; i >= 1; --i)
        QFile::rename(base + QStringLiteral(".%1").arg(i), base + QStringLiteral(".%1").arg(i + 1));
    if (s.limits.keep > 0)
        QFile::rename(base, base + QStringLiteral(".1"));
    else
        QFile::remove(base);
    s.file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
}

void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    State &s = state();
    {
        QMutexLocker lock(&s.mutex);
        if (s.file.isOpen()) {
            QByteArray line = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")).toUtf8();
            line += ' ';
            line += levelName(type);
            line += ' ';
            line += context.category ? context.category : "default";
            line += ": ";
            line += message.toUtf8().replace('\n', ' ');
            if (context.file && type != QtInfoMsg && type != QtDebugMsg) {
                line += " (";
                line += context.file;
                line += ':';
                line += QByteArray::number(context.line);
                line += ')';
            }
            line += '\n';
            if (s.limits.maxBytes > 0 && s.file.size() + line.size() > s.limits.maxBytes && s.file.size() > 0)
                rotate(s);
            s.file.write(line);
            s.file.flush();
        }
    }
    if (s.previous)
        s.previous(type, context, message);
}

} // namespace

void install(const QString &path, Limits limits)
{
    State &s = state();
    {
        QMutexLocker lock(&s.mutex);
        s.file.close();
        s.file.setFileName(path);
        s.limits = limits;
        if (!s.file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
            std::fprintf(stderr, "velmora: cannot write the log %s\n", qPrintable(path));
    }
    if (!s.installed) {
        s.previous = qInstallMessageHandler(handler);
        s.installed = true;
    }
}

void uninstall()
{
    State &s = state();
    if (s.installed) {
        qInstallMessageHandler(s.previous);
        s.previous = nullptr;
        s.installed = false;
    }
    QMutexLocker lock(&s.mutex);
    s.file.close();
}

QString path()
{
    State &s = state();
    QMutexLocker lock(&s.mutex);
    return s.file.isOpen() ? s.file.fileName() : QString();
}

} // namespace logfile
