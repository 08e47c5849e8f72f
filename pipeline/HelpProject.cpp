#include "pipeline/HelpProject.h"

#include "pipeline/ProjectFileStream.h"

namespace quorlix::pipeline {

QByteArray HelpProjectBytes(const QString &compiledFile, const QStringList &files)
{
    const QString crlf = QStringLiteral("\r\n");
    QString text;
    text += QStringLiteral("[OPTIONS]") + crlf;
    text += QStringLiteral("Compatibility=1.1 or later") + crlf;
    text += QStringLiteral("Compiled file=") + compiledFile + crlf;
    text += QStringLiteral("Default topic=") + (files.isEmpty() ? QString() : files.first()) + crlf;
    text += QStringLiteral("Display compile progress=No") + crlf;
    text += QStringLiteral("Language=0x089 English (standard)") + crlf;
    text += QStringLiteral("Title=") + QLatin1String(kHelpTitle) + crlf;
    text += QStringLiteral("Contents file=") + QLatin1String(kContentsFileName) + crlf;
    text += QStringLiteral("Index file=") + QLatin1String(kIndexFileName) + crlf;
    text += QStringLiteral("Full-text search=Yes") + crlf;
    text += crlf + QStringLiteral("[FILES]") + crlf;
    for (const QString &file : files)
        text += file + crlf;
    text += crlf + QStringLiteral("[INFOTYPES]") + crlf + crlf;
    return text.toLocal8Bit();
}

QString WriteProjectFile(const QString &path, const QByteArray &bytes)
{
    ProjectFileStream file(path);
    file.write(bytes);
    return file.commit();
}

} // namespace quorlix::pipeline
