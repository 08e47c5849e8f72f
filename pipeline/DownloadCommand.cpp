#include "pipeline/DownloadCommand.h"

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

} // namespace quorlix::pipeline
