// After the download: the saved files named in the log become a help
// project in the output folder, which is then compiled.

#include "app/MainWindow.h"
#include "runtime/Runtime.h"
#include "pipeline/ContentsFile.h"
#include "pipeline/HelpProject.h"
#include "pipeline/IndexFile.h"
#include "pipeline/LogExcerpt.h"
#include "pipeline/PageOutlines.h"
#include "pipeline/PathJoin.h"
#include "pipeline/SavedFileLog.h"

#include <QLabel>
#include <QPushButton>

namespace quorlix {

void MainWindow::objDOS_Complete()
{
    const QString folder = outputFolder();
    const QString projectPath = pipeline::BuildPath(folder, QLatin1String(pipeline::kProjectFileName));

    // The log is what the downloader wrote: the window's own first line is
    // not part of it.
    QString log = outputsText();
    const QString startLine = mDownloadStartLine + QLatin1Char('\n');
    if (!mDownloadStartLine.isEmpty() && log.startsWith(startLine))
        log.remove(0, startLine.size());

    const QStringList saved = pipeline::SavedFilePaths(log);
    const QStringList files = pipeline::ProjectFileList(saved, folder);
    if (files.isEmpty()) {
        mOutlines->cancel();
        QString text;
        if (const QStringList unwritten = pipeline::WriteFailureLines(log, 3); !unwritten.isEmpty()) {
            text = QStringLiteral("The output folder cannot be written, so no help file was made:\n\n    %1\n\n"
                                  "The downloader said:\n").arg(folder)
                 + pipeline::QuotedLines(unwritten) + QStringLiteral("\nChoose another folder with \"Output DIR\".");
        } else {
            text = QStringLiteral("No downloaded files were found in the log, so no help file was made.\n\n");
            const QStringList why = pipeline::FailureLines(log, 4);
            if (!why.isEmpty())
                text += QStringLiteral("The downloader said:\n") + pipeline::QuotedLines(why) + QLatin1Char('\n');
            text += pipeline::SpeakOfCertificates(why)
                        ? QStringLiteral("The site's certificate was not accepted. Check that the address names the "
                                         "site by the host name its certificate is made out to.")
                        : QStringLiteral("Check that the address is right and that the site can be reached.");
        }
        runtime::MsgBox(text, runtime::MsgIcon::Stop);
        endConversion();
        return;
    }

    // Most pages were read while the download ran; any the log's lines did
    // not hand over one by one (the user typed into the pane, say) are read now.
    for (const QString &path : saved)
        mOutlines->add(path);
    mReadingPages = true;
    mPagesCancelled = false;
    const pipeline::SavedPages pages = mOutlines->finish([] { runtime::DoEvents(); });
    mReadingPages = false;
    if (mPagesCancelled)
        return; // the cancel has said so and given the button back
    const pipeline::ContentsFile contents = pipeline::MakeContentsFile(files, pages);
    const pipeline::IndexFile index = pipeline::MakeIndexFile(files, pages);
    mListedFiles = files;
    mTopics = contents.topics;
    mKeywords = index.keywords;

    // The contents and the index first: the project names them, and a
    // failure leaves the earlier project as it was.
    const QByteArray project = pipeline::HelpProjectBytes(
        pipeline::BuildPath(folder, QLatin1String(pipeline::kCompiledFileName)), files);
    const std::pair<const char *, const QByteArray *> outputs[] = {
        {pipeline::kContentsFileName, &contents.bytes},
        {pipeline::kIndexFileName, &index.bytes},
        {pipeline::kProjectFileName, &project}};
    for (const auto &[name, bytes] : outputs) {
        const QString path = pipeline::BuildPath(folder, QLatin1String(name));
        const QString failure = pipeline::WriteProjectFile(path, *bytes);
        if (!failure.isEmpty()) {
            runtime::MsgBox(QStringLiteral("The help project could not be written:\n%1\n\n%2").arg(path, failure),
                            runtime::MsgIcon::Stop);
            endConversion();
            return;
        }
    }

    startCompile(projectPath);
}

} // namespace quorlix
