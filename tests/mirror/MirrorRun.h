#pragma once

// A download run into a folder of its own, and what it left there: the
// saved files and, for each page and style sheet, the links it holds.

#include "mirror/PageLinks.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QStringList>

namespace quorlix::test {

struct MirrorRun {
    QString log;
    int exitCode = -1;
    QStringList files;                // relative to the folder, sorted
    QMap<QString, QStringList> links; // page or sheet -> its links, decoded

    static MirrorRun of(const QString &program, const QStringList &arguments, const QString &folder)
    {
        MirrorRun run;
        QDir().mkpath(folder);
        QProcess process;
        process.setWorkingDirectory(folder);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        if (!process.waitForFinished(60000)) {
            process.kill();
            process.waitForFinished();
        }
        run.exitCode = process.exitCode();
        run.log = QString::fromUtf8(process.readAll());
        QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            const QString relative = QDir(folder).relativeFilePath(path);
            run.files << relative;
            const bool css = relative.endsWith(QLatin1String(".css"));
            if (!css && !relative.endsWith(QLatin1String(".html")))
                continue;
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QByteArray bytes = file.readAll();
            std::vector<mirror::PageLink> found;
            if (css)
                mirror::findCssLinks(std::string_view(bytes.constData(), bytes.size()), 0, found);
            else
                found = mirror::findHtmlLinks(std::string_view(bytes.constData(), bytes.size())).links;
            QStringList texts;
            for (const mirror::PageLink &link : found)
                texts << QString::fromStdString(link.text);
            run.links.insert(relative, texts);
        }
        run.files.sort();
        return run;
    }
};

} // namespace quorlix::test
