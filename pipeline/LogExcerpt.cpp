#include "pipeline/LogExcerpt.h"

#include <QRegularExpression>

#include <algorithm>
#include <utility>

namespace quorlix::pipeline {

namespace {

// Lines of a log, last first, blank ones left out; stops at `most` kept.
template <typename Keep>
QStringList lastLinesWhere(const QString &whole, int most, Keep keep)
{
    // What matters is at the end; a huge log is not searched through.
    const QString log = whole.right(64 * 1024);
    QStringList lines;
    qsizetype end = log.size();
    while (end > 0 && lines.size() < most) {
        const qsizetype start = log.lastIndexOf(QLatin1Char('\n'), end - 1) + 1;
        const QString line = log.mid(start, end - start).trimmed();
        if (!line.isEmpty() && keep(line))
            lines.prepend(line);
        end = start - 1;
    }
    return lines;
}

} // namespace

QStringList FailureLines(const QString &log, int most)
{
    // The words Wget's messages use when something went wrong.
    static const QRegularExpression failure(
        QStringLiteral("error|failed|unable|unsupported|giving up|invalid|missing|refused|timed out|not found"
                       "|no such|cannot|can't|certificate|\\bssl\\b|\\btls\\b|requested host name"),
        QRegularExpression::CaseInsensitiveOption);
    return lastLinesWhere(log, most, [](const QString &line) { return failure.match(line).hasMatch(); });
}

QStringList WriteFailureLines(const QString &log, int most)
{
    static const QRegularExpression failure(
        QStringLiteral("^Cannot write to |: (Permission denied|Not a directory|Read-only file system"
                       "|No space left on device|Disk quota exceeded)"));
    return lastLinesWhere(log, most, [](const QString &line) { return failure.match(line).hasMatch(); });
}

bool SpeakOfCertificates(const QStringList &lines)
{
    static const QRegularExpression secure(QStringLiteral("certificate|\\bssl\\b|\\btls\\b"),
                                           QRegularExpression::CaseInsensitiveOption);
    return std::any_of(lines.cbegin(), lines.cend(), [](const QString &line) { return secure.match(line).hasMatch(); });
}

QList<CertificateFault> CertificateFaults(const QStringList &lines)
{
    static const std::pair<CertificateFault, QRegularExpression> kinds[] = {
        {CertificateFault::UnknownAuthority,
         QRegularExpression(QStringLiteral("local issuer certificate|self[- ]signed|doesn't have a known issuer"
                                           "|verify the issuer's authority|unknown (ca|issuer)"),
                            QRegularExpression::CaseInsensitiveOption)},
        {CertificateFault::WrongName,
         QRegularExpression(QStringLiteral("subject (alternative )?name|does(n't| not) match (target )?host ?name"
                                           "|requested host name"),
                            QRegularExpression::CaseInsensitiveOption)},
        {CertificateFault::Expired,
         QRegularExpression(QStringLiteral("has expired|certificate expired|not yet valid|not (yet|been) activated"),
                            QRegularExpression::CaseInsensitiveOption)},
    };
    QList<CertificateFault> faults;
    for (const auto &kind : kinds)
        if (std::any_of(lines.cbegin(), lines.cend(),
                        [&](const QString &line) { return kind.second.match(line).hasMatch(); }))
            faults << kind.first;
    return faults;
}

QStringList LastLines(const QString &log, int most)
{
    return lastLinesWhere(log, most, [](const QString &) { return true; });
}

QString QuotedLines(const QStringList &lines)
{
    QString text;
    for (const QString &line : lines)
        text += QStringLiteral("    ") + line + QLatin1Char('\n');
    return text;
}

} // namespace quorlix::pipeline
