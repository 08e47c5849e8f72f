// After the download: the saved files named in the log become a help
// project in the output folder, which is then compiled.

#include "app/MainWindow.h"
#include "app/PaneLog.h"
#include "runtime/Runtime.h"
#include "pipeline/ContentsFile.h"
#include "pipeline/HelpProject.h"
#include "pipeline/IndexFile.h"
#include "pipeline/LogExcerpt.h"
#include "pipeline/PageOutlines.h"
#include "pipeline/PathJoin.h"
#include "pipeline/ProjectFileStream.h"
#include "pipeline/SavedFileLines.h"
#include "pipeline/SavedFileLog.h"

#include <QLabel>
#include <QPushButton>

#include <utility>

namespace quorlix {

void MainWindow::objDOS_Complete()
{
    const QString folder = outputFolder();
    const QString projectPath = pipeline::BuildPath(folder, QLatin1String(pipeline::kProjectFileName));

    // The log is what the downloader wrote: the window's own first line is
    // not part of it. Its saved files are read from the pane line by line:
    // a copy of a large site's whole log would cost tens of megabytes.
    QStringList saved;
    {
        pipeline::SavedFileLines lines;
        mPaneLog->forEachLine(mDownloadStartLine, [&lines](const QString &line) { lines.add(line); });
        saved = lines.finish();
    }
    // Most pages were read while the download ran; any the log's lines did
    // not hand over one by one (the user typed into the pane, say) are read now.
    for (const QString &path : std::as_const(saved))
        mOutlines->add(path);
    QStringList files = pipeline::ProjectFileList(std::move(saved), folder);
    if (files.isEmpty()) {
        mOutlines->cancel();
        QStringList logLines;
        mPaneLog->forEachLine(mDownloadStartLine, [&logLines](const QString &line) { logLines << line; });
        const QString log = logLines.join(QLatin1Char('\n'));
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

    // Whether the file was written; when not, the user is told and the
    // conversion ends.
    const auto written = [&](const char *name, const QString &failure) {
        if (failure.isEmpty())
            return true;
        runtime::MsgBox(QStringLiteral("The help project could not be written:\n%1\n\n%2")
                            .arg(pipeline::BuildPath(folder, QLatin1String(name)), failure),
                        runtime::MsgIcon::Stop);
        endConversion();
        return false;
    };
    const auto writeOut = [&](const char *name, const QByteArray &bytes) {
        return written(name, pipeline::WriteProjectFile(pipeline::BuildPath(folder, QLatin1String(name)), bytes));
    };
    {
        mReadingPages = true;
        mPagesCancelled = false;
        pipeline::SavedPages pages = mOutlines->finish([] { runtime::DoEvents(); });
        mReadingPages = false;
        if (mPagesCancelled)
            return; // the cancel has said so and given the button back
        for (const QString &line : pipeline::OutlineCutLines(pages))
            appendStatusLine(line);
        // The listed paths share their text with the pages' own names: a
        // large site's paths come to megabytes.
        for (QString &file : files)
            if (const auto page = pages.constFind(file); page != pages.cend())
                file = page.key();

        // The contents and the index first: the project names them, and a
        // failure leaves the earlier project as it was. Each is let go once
        // written, and the pages before the compile: on a large site they
        // come to tens of megabytes each.
        // Both go to their files as they are made.
        pipeline::ProjectFileStream contentsFile(
            pipeline::BuildPath(folder, QLatin1String(pipeline::kContentsFileName)));
        mTopics = pipeline::MakeContentsFile(files, pages, [&](const QByteArray &piece) {
                      return contentsFile.write(piece);
                  }).topics;
        if (!written(pipeline::kContentsFileName, contentsFile.commit()))
            return;
        // Their links, but for an index page's, make room for the index.
        pipeline::LetGoOfLinksNoIndexReads(pages);
        pipeline::ProjectFileStream indexFile(pipeline::BuildPath(folder, QLatin1String(pipeline::kIndexFileName)));
        mKeywords = pipeline::MakeIndexFile(files, pages, [&](const QByteArray &piece) {
                        return indexFile.write(piece);
                    }).keywords;
        if (!written(pipeline::kIndexFileName, indexFile.commit()))
            return;
    }
    mListedFiles = files;
    if (!writeOut(pipeline::kProjectFileName,
                  pipeline::HelpProjectBytes(
                      pipeline::BuildPath(folder, QLatin1String(pipeline::kCompiledFileName)), files)))
        return;

    startCompile(projectPath);
}

} // namespace quorlix
