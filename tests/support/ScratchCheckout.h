#pragma once

// A temporary working directory laid out like the checkout, for tests that
// choose which outside programs exist: its bin/ holds only the programs a
// test links there (the fault stand-in under any name, or the checkout's own
// scripts). The process works in it, and the stand-in settings a test makes
// stay in force, for as long as the object lives.

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QList>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>

#include <optional>

#include <sys/types.h>

#ifndef QUORLIX_FAULT_STANDIN
#error "QUORLIX_FAULT_STANDIN must name the fault stand-in program"
#endif

namespace quorlix::test {

class ScratchCheckout {
public:
    ScratchCheckout() : mOldDir(QDir::currentPath())
    {
        QDir(mDir.path()).mkdir(QStringLiteral("bin"));
        QDir::setCurrent(mDir.path());
    }
    ~ScratchCheckout()
    {
        QDir::setCurrent(mOldDir);
        for (const QByteArray &name : mVariables)
            qunsetenv(name.constData());
    }
    ScratchCheckout(const ScratchCheckout &) = delete;
    ScratchCheckout &operator=(const ScratchCheckout &) = delete;

    bool isValid() const { return mDir.isValid(); }
    QString path(const QString &name = QString()) const
    {
        return name.isEmpty() ? mDir.path() : mDir.filePath(name);
    }

    // bin/NAME becomes the fault stand-in; it writes its arguments to
    // NAME.argv and its process IDs to NAME.pids in the scratch folder.
    void addStandin(const QString &name)
    {
        QFile::link(QStringLiteral(QUORLIX_FAULT_STANDIN), path(QStringLiteral("bin/") + name));
        set(name, QStringLiteral("ARGV"), path(name + QStringLiteral(".argv")));
        set(name, QStringLiteral("PIDS"), path(name + QStringLiteral(".pids")));
    }
    // bin/NAME becomes the checkout's own bin/NAME.
    void addReal(const QString &name)
    {
        QFile::link(QDir(qEnvironmentVariable("QUORLIX_SOURCE_DIR")).filePath(QStringLiteral("bin/") + name),
                    path(QStringLiteral("bin/") + name));
    }
    // Sets STANDIN_<NAME>_<KEY> for the stand-in named name.
    void set(const QString &name, const QString &key, const QString &value)
    {
        const QByteArray variable = (QStringLiteral("STANDIN_") + name.toUpper() + QLatin1Char('_') + key).toLatin1();
        qputenv(variable.constData(), value.toLocal8Bit());
        mVariables << variable;
    }

    // The arguments the stand-in got on its latest run; empty when it never ran.
    std::optional<QList<QByteArray>> arguments(const QString &name) const
    {
        QFile file(path(name + QStringLiteral(".argv")));
        if (!file.open(QIODevice::ReadOnly))
            return std::nullopt;
        QList<QByteArray> words = file.readAll().split('\0');
        words.removeLast(); // every word ends in a NUL
        return words;
    }
    // The process IDs of all its runs.
    QList<pid_t> pids(const QString &name) const
    {
        QFile file(path(name + QStringLiteral(".pids")));
        QList<pid_t> pids;
        if (file.open(QIODevice::ReadOnly))
            for (const QByteArray &line : file.readAll().split('\n'))
                if (!line.isEmpty())
                    pids << static_cast<pid_t>(line.toInt());
        return pids;
    }

    // Every file and folder below the scratch folder whose whole name
    // matches the pattern.
    QStringList find(const QString &pattern) const
    {
        const QRegularExpression name(QRegularExpression::anchoredPattern(pattern));
        QStringList found;
        QDirIterator it(mDir.path(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            if (name.match(it.next().section(QLatin1Char('/'), -1)).hasMatch())
                found << it.filePath();
        return found;
    }

private:
    QTemporaryDir mDir;
    QString mOldDir;
    QList<QByteArray> mVariables;
};

// A file's bytes; empty when it cannot be read.
inline QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Whether a process with this ID is there at all (a zombie counts).
inline bool processPresent(pid_t pid) { return QFile::exists(QStringLiteral("/proc/%1").arg(pid)); }

} // namespace quorlix::test
