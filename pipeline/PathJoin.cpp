#include "pipeline/PathJoin.h"

namespace quorlix::pipeline {

QString BuildPath(const QString &folder, const QString &name)
{
    if (folder.isEmpty() || folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

} // namespace quorlix::pipeline
