// The "Execute"/"Cancel" button: starts a conversion with the download, or
// cancels the download under way. The button's caption is the only busy flag
// (MainWindow::idle).

#include "app/MainWindow.h"
#include "runtime/Runtime.h"
#include "pipeline/DownloadCommand.h"
#include "app/PaneLog.h"
#include "app/PreparedCompile.h"
#include "pipeline/PageOutlines.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace quorlix {

namespace {

// Counts the conversions on the stack for as long as one is there.
class DepthGuard {
public:
    explicit DepthGuard(int &depth) : mDepth(depth) { ++mDepth; }
    ~DepthGuard() { --mDepth; }
    DepthGuard(const DepthGuard &) = delete;
    DepthGuard &operator=(const DepthGuard &) = delete;

private:
    int &mDepth;
};

} // namespace

void MainWindow::cmdExecute_Click()
{
    if (!idle()) {
        const bool downloading = objDOS && objDOS->isRunning();
        if (objDOS)
            objDOS->Cancel();
        // The runner notices the cancel only after its current wait, and
        // whatever the user does next (a box, say) may hold it up: the
        // downloader is asked to close now, so it ends at once regardless.
        askToClose(objDOS);
        setIdle(true);
        if (downloading || mReadingPages) {
            mPagesCancelled = mReadingPages;
            mOutlines->cancel();
            mPrepared->drop();
            appendStatusLine(QStringLiteral("Cancelled."));
        }
        else if (hccDOS && hccDOS->isRunning())
            appendStatusLine(QStringLiteral("The help compiler cannot be stopped: the compile runs to its end."));
        return;
    }

    // A conversion that was cancelled is still on its way out: a second one
    // would interleave its log and files with it. Say what is still running.
    if (conversionRunning()) {
        if (objDOS && objDOS->isRunning())
            runtime::MsgBox(QStringLiteral("The cancelled download is still ending: its downloader has been asked "
                                           "to close.\n\nPress \"Execute\" again in a moment."));
        else if (!hccDOS || !hccDOS->isRunning())
            runtime::MsgBox(QStringLiteral("The cancelled conversion is still ending.\n\n"
                                           "Press \"Execute\" again in a moment."));
        else
            runtime::MsgBox(QStringLiteral("The previous conversion is still finishing its help file: the help "
                                           "compiler is running.\n\nPress \"Execute\" again when its output has "
                                           "ended."));
        return;
    }
    const QString folderProblem = pipeline::OutputDirProblem(Label2->text());
    if (!folderProblem.isEmpty()) {
        runtime::MsgBox(folderProblem, runtime::MsgIcon::Stop);
        return;
    }

    mPaneLog->forgetHeldBack();
    txtOutputs->clear();
    // The whole conversion writes to the folder shown now.
    mConversionFolder = Label2->text();
    mConversionClock.start();
    mSavedFiles.reset(mConversionFolder);
    mAwaitingFinalFiles = false;
    mFinalFilesTaken.invalidate();
    pipeline::PageOutlines::FileSink sink = mPrepared->start(mConversionFolder);
    mOutlines->start(mConversionFolder, std::move(sink), mPrepared->handedReadings());
    DepthGuard onStack(mConversionDepth);
    try {
        if (!objDOS)
            throw runtime::RuntimeError(QStringLiteral("Object variable not set"), QStringLiteral("quorlix"), 91);
        objDOS->setCommandLine(pipeline::DownloadCommandLine(mConversionFolder, txtCommand->text()));
        // A site that is slow to answer would otherwise leave the pane empty.
        const QString address = txtCommand->text().isEmpty() ? QStringLiteral("(no address)") : txtCommand->text();
        mDownloadStartLine = QStringLiteral("Downloading %1 into %2").arg(address, mConversionFolder);
        appendStatusLine(mDownloadStartLine);
        setIdle(false);
        objDOS->ExecuteCommand();
    } catch (const runtime::RuntimeError &error) {
        runtime::ReportError(error);
    } catch (const std::bad_alloc &) {
        runtime::ReportError({QStringLiteral("Out of memory"), QStringLiteral("quorlix"), 7});
    } catch (const std::exception &error) {
        runtime::ReportError({QString::fromLocal8Bit(error.what()), QStringLiteral("quorlix"), 5});
    }
    // However the run ended, the page reader's thread ends with it, and
    // what was prepared for the compile goes.
    mOutlines->cancel();
    mPrepared->drop();
}

} // namespace quorlix
