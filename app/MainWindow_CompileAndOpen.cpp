// The last stage: compile the project, show the compiler's log after the
// download's, then open the compiled file in the help viewer.

#include "app/MainWindow.h"
#include "app/PreparedCompile.h"
#include "runtime/Runtime.h"
#include "pipeline/CompileCommand.h"
#include "pipeline/CompiledFileCheck.h"
#include "pipeline/HelpProject.h"
#include "pipeline/LogExcerpt.h"
#include "pipeline/PathJoin.h"

#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>

#include <sys/stat.h>

namespace quorlix {

namespace {

// Which file is at the path, and which version of it: a help file compiled
// under another name and renamed into place has a new inode, one written in
// place a new modification time. Empty when nothing (or an empty file) is there.
QString fileStamp(const QString &path)
{
    struct stat info{};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0 || info.st_size == 0)
        return {};
    return QStringLiteral("%1:%2.%3:%4")
        .arg(info.st_ino)
        .arg(info.st_mtim.tv_sec)
        .arg(info.st_mtim.tv_nsec)
        .arg(info.st_size);
}

} // namespace

void MainWindow::startCompile(const QString &projectPath)
{
    // A fresh runner for every conversion; a run still under way keeps the
    // old one alive until it returns.
    hccDOS = process::DOSOutputs::create();
    connect(hccDOS.get(), &process::DOSOutputs::ReceiveOutputs, this, &MainWindow::hccDOS_ReceiveOutputs);
    connect(hccDOS.get(), &process::DOSOutputs::Complete, this, &MainWindow::hccDOS_Complete);
    hccDOS->setCommandLine(pipeline::CompileCommandLine(projectPath));
    mCompiledStamp = fileStamp(pipeline::BuildPath(outputFolder(), QLatin1String(pipeline::kCompiledFileName)));
    // The compile can take a while with the download's last line standing.
    appendStatusLine(QStringLiteral("Compiling %1").arg(projectPath));
    hccDOS->ExecuteCommand();
}

void MainWindow::hccDOS_Complete()
{
    if (mClosing) {
        endConversion();
        return;
    }
    const QString compiled = pipeline::BuildPath(outputFolder(), QLatin1String(pipeline::kCompiledFileName));
    const QString stamp = fileStamp(compiled);
    if (stamp.isEmpty() || stamp == mCompiledStamp) {
        // No new help file: the viewer would show an old one, or nothing.
        QString text = QStringLiteral("The help compiler made no help file:\n%1\n\n").arg(compiled);
        const QStringList said = pipeline::LastLines(hccDOS ? hccDOS->Outputs() : QString(), 6);
        if (!said.isEmpty())
            text += QStringLiteral("It said:\n") + pipeline::QuotedLines(said);
        runtime::MsgBox(text.trimmed(), runtime::MsgIcon::Stop);
        endConversion();
        return;
    }
    try {
        runtime::ShellRun(pipeline::ViewerCommand(compiled));
    } catch (const runtime::RuntimeError &error) {
        // The viewer could not be started: say so, and still end the
        // conversion so the window is ready for the next one.
        runtime::ReportError(error);
    }
    // Read back while the viewer opens it: on a large site the check takes
    // longer than the viewer needs to show the first page.
    checkCompiledFile(compiled);
    endConversion();
}

void MainWindow::checkCompiledFile(const QString &compiled)
{
    // Read back as a viewer would: is every listed file in it?
    const QString defaultTopic = mListedFiles.isEmpty() ? QString() : mListedFiles.first();
    const pipeline::CompiledFileReport report = pipeline::CheckCompiledFile(compiled, mListedFiles, defaultTopic);
    pipeline::HelpFileFigures figures;
    figures.path = compiled;
    figures.files = mListedFiles.size();
    figures.topics = mTopics;
    figures.keywords = mKeywords;
    figures.search = report.hasSearch;
    figures.size = report.opened ? report.size : QFileInfo(compiled).size();
    figures.milliseconds = mConversionClock.elapsed();
    QString summary = pipeline::HelpFileSummary(figures);
    if (!report.opened)
        summary += QStringLiteral(" (it could not be read back to check it)");
    appendStatusLine(summary);

    if (report.opened && (!report.missing.isEmpty() || report.defaultTopicMissing)) {
        constexpr int kNamed = 5;
        QString text = QStringLiteral("The help file lacks %1 of the %2 files the project lists")
                           .arg(report.missing.size())
                           .arg(mListedFiles.size());
        if (report.defaultTopicMissing)
            text += QStringLiteral(", among them its first page");
        text += QStringLiteral(":\n") + pipeline::QuotedLines(report.missing.mid(0, kNamed));
        if (report.missing.size() > kNamed)
            text += QStringLiteral("    and %1 more\n").arg(report.missing.size() - kNamed);
        text += QStringLiteral("\nIt opens all the same; the pages it lacks will not show.");
        runtime::MsgBox(text, runtime::MsgIcon::Stop);
    }
}

void MainWindow::endConversion()
{
    mPrepared->drop();
    setIdle(true);
}

} // namespace quorlix
