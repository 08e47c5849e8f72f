#include "runtime/Runtime.h"

#include "runtime/QtDialogs.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

namespace quorlix::runtime {

namespace {
QtDialogs gRealDialogs;
Dialogs *gDialogs = &gRealDialogs;
} // namespace

void setDialogs(Dialogs *dialogs) { gDialogs = dialogs ? dialogs : &gRealDialogs; }

Dialogs &dialogs() { return *gDialogs; }

void MsgBox(const QString &text, MsgIcon icon, const QString &title)
{
    gDialogs->messageBox(text, icon, title.isEmpty() ? QString::fromLatin1(kAppTitle) : title);
}

void ReportError(const RuntimeError &error)
{
    MsgBox(error.Description() + QStringLiteral(" - ") + error.Source() + QStringLiteral(" - ")
           + QString::number(error.Number()));
}

void DoEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

QString Environ(const QString &name)
{
    return qEnvironmentVariable(name.toLocal8Bit().constData());
}

void SetEnviron(const QString &name, const QString &value)
{
    const QByteArray key = name.toLocal8Bit();
    if (value.isEmpty())
        qunsetenv(key.constData());
    else
        qputenv(key.constData(), QFile::encodeName(value));
}

void End() { gDialogs->endProgram(0); }

std::optional<QString> BrowseForFolder(const QString &title, const QString &root)
{
    return gDialogs->browseForFolder(title, root);
}

void ShellRun(const QString &command)
{
    const qsizetype blank = command.indexOf(QLatin1Char(' '));
    const QString program = blank < 0 ? command : command.left(blank);
    QStringList arguments;
    if (blank >= 0 && blank + 1 < command.size())
        arguments << command.mid(blank + 1);
    if (program.isEmpty() || !gDialogs->shellRun(program, arguments))
        throw RuntimeError(QStringLiteral("File not found: ") + program, QStringLiteral("quorlix"), 53);
}

} // namespace quorlix::runtime
