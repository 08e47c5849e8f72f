#pragma once

// Running an X client (xdotool, import) on a test's own X display.

#include <QProcess>
#include <QString>
#include <QStringList>

namespace quorlix::test {

// Runs program on display to its end (at most timeoutMs); its output lines.
inline QStringList runOnDisplay(const QString &display, const QString &program, const QStringList &arguments,
                                int timeoutMs = 30000)
{
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    tool.setProcessEnvironment(environment);
    tool.start(program, arguments);
    if (!tool.waitForFinished(timeoutMs))
        return {};
    return QString::fromUtf8(tool.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace quorlix::test
