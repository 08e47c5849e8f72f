// After the download: the saved files named in the log become a help
// project in the output folder, which is then compiled.

#include "app/MainWindow.h"
#include "runtime/Runtime.h"
#include "pipeline/HelpProject.h"
#include "pipeline/PathJoin.h"
#include "pipeline/SavedFileLog.h"

#include <QLabel>
#include <QPushButton>

namespace quorlix {

QString MainWindow::StripOutputDir(const QString &path) const
{
    return pipeline::StripOutputDir(path, Label2->text());
}

void MainWindow::objDOS_Complete()
{
    const QString folder = Label2->text();
    const QString projectPath = pipeline::BuildPath(folder, QLatin1String(pipeline::kProjectFileName));

    const QStringList files = pipeline::ProjectFileList(pipeline::SavedFilePaths(outputsText()), folder);
    if (files.isEmpty()) {
        runtime::MsgBox(QStringLiteral("No downloaded files were found in the log, so no help file was made.\n\n"
                                       "Check that the address is right and that the site can be reached."),
                        runtime::MsgIcon::Stop);
        endConversion();
        return;
    }

    const QByteArray project = pipeline::HelpProjectBytes(
        pipeline::BuildPath(folder, QLatin1String(pipeline::kCompiledFileName)), files);
    const QString failure = pipeline::WriteProjectFile(projectPath, project);
    if (!failure.isEmpty()) {
        runtime::MsgBox(QStringLiteral("The help project could not be written:\n%1\n\n%2").arg(projectPath, failure),
                        runtime::MsgIcon::Stop);
        endConversion();
        return;
    }

    startCompile(projectPath);
}

} // namespace quorlix
