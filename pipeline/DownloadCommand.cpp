#include "pipeline/DownloadCommand.h"

#include <QFileInfo>

namespace quorlix::pipeline {

QString DownloadCommandLine(const QString &outputDir, const QString &address)
{
    return QStringLiteral("bin\\wget -U ") + QLatin1Char('"') + QLatin1String(kUserAgent) + QLatin1Char('"')
           + QStringLiteral(" -r -nv  -np  --random-wait -P ") + QLatin1Char('"') + outputDir
           + QStringLiteral("\" ") + address;
}

QString OutputDirProblem(const QString &outputDir)
{
    if (outputDir.contains(QLatin1Char('"')))
        return QStringLiteral("The output folder's name contains a double quote (\"), which cannot be "
                              "passed to the downloader safely:\n\n%1\n\n"
                              "Choose another folder with \"Output DIR\".")
            .arg(outputDir);
    return QString();
}

bool OutputDirUnwritable(const QString &outputDir)
{
    QFileInfo at(outputDir.isEmpty() ? QStringLiteral(".") : outputDir);
    while (!at.exists()) {
        const QString parent = at.absolutePath();
        if (parent == at.absoluteFilePath())
            return true;
        at = QFileInfo(parent);
    }
    return !at.isDir() || !at.isWritable();
}

} // namespace quorlix::pipeline
