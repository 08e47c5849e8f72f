// The last stage: compile the project, show the compiler's log after the
// download's, then open the compiled file in the help viewer.

#include "app/MainWindow.h"
#include "runtime/Runtime.h"
#include "pipeline/CompileCommand.h"
#include "pipeline/HelpProject.h"
#include "pipeline/PathJoin.h"

#include <QLabel>
#include <QPushButton>

namespace quorlix {

void MainWindow::startCompile(const QString &projectPath)
{
    // A fresh runner for every conversion; a run still under way keeps the
    // old one alive until it returns.
    hccDOS = process::DOSOutputs::create();
    connect(hccDOS.get(), &process::DOSOutputs::ReceiveOutputs, this, &MainWindow::hccDOS_ReceiveOutputs);
    connect(hccDOS.get(), &process::DOSOutputs::Complete, this, &MainWindow::hccDOS_Complete);
    hccDOS->setCommandLine(pipeline::CompileCommandLine(projectPath));
    hccDOS->ExecuteCommand();
}

void MainWindow::hccDOS_Complete()
{
    const QString compiled = pipeline::BuildPath(Label2->text(), QLatin1String(pipeline::kCompiledFileName));
    try {
        runtime::ShellRun(pipeline::ViewerCommand(compiled));
    } catch (const runtime::RuntimeError &error) {
        // The viewer could not be started: say so, and still end the
        // conversion so the window is ready for the next one.
        runtime::ReportError(error);
    }
    endConversion();
}

void MainWindow::endConversion() { cmdExecute->setText(QStringLiteral("Execute")); }

} // namespace quorlix
