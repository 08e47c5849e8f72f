#include "pipeline/CompileCommand.h"

namespace quorlix::pipeline {

QString CompileCommandLine(const QString &projectPath)
{
    return QStringLiteral("bin\\hhc \"") + projectPath + QLatin1Char('"');
}

QString ViewerCommand(const QString &compiledPath)
{
    return QStringLiteral("hh ") + compiledPath;
}

} // namespace quorlix::pipeline
