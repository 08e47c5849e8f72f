#include "pipeline/CompiledFileCheck.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <chm_lib.h>

namespace quorlix::pipeline {

namespace {

bool holds(chmFile *help, const QString &file)
{
    chmUnitInfo unit;
    const QByteArray name = '/' + QFile::encodeName(file);
    return chm_resolve_object(help, name.constData(), &unit) == CHM_RESOLVE_SUCCESS;
}

QString counted(qsizetype count, const char *one, const char *many)
{
    static const QLocale english(QLocale::English, QLocale::UnitedStates);
    return english.toString(static_cast<qlonglong>(count)) + QLatin1Char(' ')
         + QLatin1String(count == 1 ? one : many);
}

} // namespace

CompiledFileReport CheckCompiledFile(const QString &path, const QStringList &files, const QString &defaultTopic)
{
    CompiledFileReport report;
    report.size = QFileInfo(path).size();
    chmFile *help = chm_open(QFile::encodeName(path).constData());
    if (!help)
        return report;
    report.opened = true;
    for (const QString &file : files)
        if (!holds(help, file))
            report.missing << file;
    report.defaultTopicMissing = !defaultTopic.isEmpty() && !holds(help, defaultTopic);
    report.hasSearch = holds(help, QStringLiteral("$FIftiMain"));
    chm_close(help);
    return report;
}

QString HelpFileSummary(const HelpFileFigures &figures)
{
    static const QLocale english(QLocale::English, QLocale::UnitedStates);
    QStringList parts{counted(figures.files, "file", "files"), counted(figures.topics, "topic", "topics"),
                      counted(figures.keywords, "index keyword", "index keywords"),
                      figures.search ? QStringLiteral("full-text search") : QStringLiteral("no full-text search"),
                      english.formattedDataSize(figures.size, 1, QLocale::DataSizeTraditionalFormat),
                      QStringLiteral("made in ") + QString::number(figures.milliseconds / 1000.0, 'f', 1)
                          + QStringLiteral(" s")};
    return QStringLiteral("Help file: ") + figures.path + QStringLiteral(": ") + parts.join(QStringLiteral(", "));
}

} // namespace quorlix::pipeline
