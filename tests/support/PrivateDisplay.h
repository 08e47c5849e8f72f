#pragma once

// What the suites that open the real help viewers do on a private X server
// (support/OnDisplay.h): start a viewer there, wait for its window's title,
// take a screenshot.

#include "support/OnDisplay.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTest>


namespace quorlix::test {

// The names of the visible windows on display whose name matches pattern.
inline QStringList windowTitles(const QString &display, const QString &pattern)
{
    return runOnDisplay(display, QStringLiteral("xdotool"),
                        {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"), pattern,
                         QStringLiteral("getwindowname"), QStringLiteral("%@")},
                        5000);
}

inline void takeScreenshot(const QString &display, const QString &path)
{
    runOnDisplay(display, QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), path}, 10000);
}

// Starts a help viewer on display with a home of its own (no settings or
// recent files of an earlier run count) and no session of the test's.
inline void startViewer(GroupProcess &viewer, const QString &program, const QString &file, const QString &display,
                        const QString &home)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    environment.insert(QStringLiteral("HOME"), home);
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.remove(QStringLiteral("XDG_CONFIG_HOME"));
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    viewer.process().setProcessEnvironment(environment);
    viewer.process().setProcessChannelMode(QProcess::MergedChannels);
    viewer.process().start(program, {file});
}

// Waits up to timeoutMs for a window titled expected among those whose
// title matches pattern; the titles last seen.
inline QStringList waitForWindowTitle(const QString &display, const QString &pattern, const QString &expected,
                                      int timeoutMs)
{
    QStringList titles;
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired() && !titles.contains(expected)) {
        QTest::qWait(250);
        titles = windowTitles(display, pattern);
    }
    return titles;
}

} // namespace quorlix::test
