// After the download: the saved files named in the log become a help
// project in the output folder, which is then compiled.

#include "app/MainWindow.h"
#include "app/PaneLog.h"
#include "runtime/Runtime.h"
#include "pipeline/ContentsFile.h"
#include "pipeline/DownloadCommand.h"
#include "pipeline/HelpProject.h"
#include "pipeline/IndexFile.h"
#include "pipeline/LogExcerpt.h"
#include "app/PreparedCompile.h"
#include "pipeline/PageOutlines.h"
#include "pipeline/PathJoin.h"
#include "pipeline/ProjectFileStream.h"
#include "pipeline/SavedFileLine.h"
#include "pipeline/SavedFileLog.h"

#include <QLabel>
#include <QPushButton>

#include <utility>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace quorlix {

namespace {

// What the user can do about a refused certificate, for each cause the
// downloader named.
QString certificateAdvice(const QList<pipeline::CertificateFault> &faults)
{
    QString text = QStringLiteral("The site's certificate was not accepted.");
    for (const pipeline::CertificateFault fault : faults) {
        switch (fault) {
        case pipeline::CertificateFault::UnknownAuthority:
            text += QStringLiteral(" It is signed by an authority this system does not trust. If you trust it, add "
                                   "the authority's certificate to the system's certificates (as root, copy it as a "
                                   ".crt file into /usr/local/share/ca-certificates and run update-ca-certificates), "
                                   "or type --ca-certificate=FILE after the address.");
            break;
        case pipeline::CertificateFault::WrongName:
            text += QStringLiteral(" It is made out to another host name: check that the address names the site by "
                                   "the host name its certificate is made out to.");
            break;
        case pipeline::CertificateFault::Expired:
            text += QStringLiteral(" It has expired or is not valid yet: check that this system's date and time are "
                                   "right; if they are, the site has to renew its certificate.");
            break;
        }
    }
    if (faults.isEmpty())
        text += QStringLiteral(" Check that the address names the site by the host name its certificate is made out "
                               "to, that this system trusts the authority that signed it, and that the system's date "
                               "is right.");
    return text;
}

} // namespace

void MainWindow::objDOS_Complete()
{
    const QString folder = outputFolder();
    const QString projectPath = pipeline::BuildPath(folder, QLatin1String(pipeline::kProjectFileName));
    // The list's last files, written as the downloader ended.
    mPrepared->downloadEnded();
    takeFinalFiles();

    // The log is what the downloader wrote: the window's own first line is
    // not part of it. Its saved files are read from the pane line by line:
    // a copy of a large site's whole log would cost tens of megabytes. Only
    // real saved-file lines naming files inside the folder count: the site
    // chose part of the log's text, and the pane can be typed into.
    QStringList saved;
    {
        pipeline::SavedFileLine lines(folder);
        mPaneLog->forEachLine(mDownloadStartLine, [&](const QString &line) {
            if (QString path = lines.savedFile(line); !path.isEmpty())
                saved << std::move(path);
        });
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
        // A downloader that could not write may not say so; a log that
        // names files that are not there is no help either.
        const QStringList unwritten = pipeline::WriteFailureLines(log, 3);
        if (!unwritten.isEmpty() || pipeline::OutputDirUnwritable(folder)) {
            text = QStringLiteral("The output folder cannot be written, so no help file was made:\n\n    %1\n\n")
                       .arg(folder);
            if (!unwritten.isEmpty())
                text += QStringLiteral("The downloader said:\n") + pipeline::QuotedLines(unwritten) + QLatin1Char('\n');
            text += QStringLiteral("Choose another folder with \"Output DIR\".");
        } else {
            text = QStringLiteral("No downloaded files were found in the log, so no help file was made.\n\n");
            const QStringList why = pipeline::FailureLines(log, 4);
            if (!why.isEmpty())
                text += QStringLiteral("The downloader said:\n") + pipeline::QuotedLines(why) + QLatin1Char('\n');
            text += pipeline::SpeakOfCertificates(why)
                        ? certificateAdvice(pipeline::CertificateFaults(why))
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
        mPrepared->pagesRead();
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
#ifdef __GLIBC__
    // The pages are gone: their room goes back to the system, rather than
    // stay the window's while the compile runs and the help file is read
    // back (on a site of 50,000 files, some 70 MB).
    malloc_trim(0);
#endif
    mListedFiles = files;
    if (!writeOut(pipeline::kProjectFileName,
                  pipeline::HelpProjectBytes(
                      pipeline::BuildPath(folder, QLatin1String(pipeline::kCompiledFileName)), files)))
        return;

    mPrepared->awaitContent();
    startCompile(projectPath);
}

} // namespace quorlix
