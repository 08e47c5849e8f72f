// The "Execute"/"Cancel" button: starts a conversion with the download, or
// cancels the download under way. The button's caption is the only busy flag.

#include "app/MainWindow.h"
#include "runtime/Runtime.h"
#include "pipeline/DownloadCommand.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace quorlix {

namespace {

const QString kExecute = QStringLiteral("Execute");
const QString kCancel = QStringLiteral("Cancel");

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
    if (cmdExecute->text() != kExecute) {
        if (objDOS)
            objDOS->Cancel();
        cmdExecute->setText(kExecute);
        return;
    }

    // A conversion cancelled during its compile is still finishing: a second
    // one would interleave its log and files with it.
    if (conversionRunning()) {
        runtime::MsgBox(QStringLiteral("The previous conversion is still finishing its help file.\n\n"
                                       "Press \"Execute\" again when its output has ended."));
        return;
    }
    const QString folderProblem = pipeline::OutputDirProblem(Label2->text());
    if (!folderProblem.isEmpty()) {
        runtime::MsgBox(folderProblem, runtime::MsgIcon::Stop);
        return;
    }

    txtOutputs->clear();
    DepthGuard onStack(mConversionDepth);
    try {
        if (!objDOS)
            throw runtime::RuntimeError(QStringLiteral("Object variable not set"), QStringLiteral("quorlix"), 91);
        objDOS->setCommandLine(pipeline::DownloadCommandLine(Label2->text(), txtCommand->text()));
        cmdExecute->setText(kCancel);
        objDOS->ExecuteCommand();
    } catch (const runtime::RuntimeError &error) {
        runtime::ReportError(error);
    } catch (const std::bad_alloc &) {
        runtime::ReportError({QStringLiteral("Out of memory"), QStringLiteral("quorlix"), 7});
    } catch (const std::exception &error) {
        runtime::ReportError({QString::fromLocal8Bit(error.what()), QStringLiteral("quorlix"), 5});
    }
}

} // namespace quorlix
