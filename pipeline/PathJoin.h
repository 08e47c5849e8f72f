#pragma once

#include <QString>

namespace quorlix::pipeline {

// Joins a folder and a file name with one "/", unless the folder already
// ends in one (or is empty). Nothing else is normalised.
QString BuildPath(const QString &folder, const QString &name);

} // namespace quorlix::pipeline
