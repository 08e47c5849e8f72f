#pragma once

#include "html/PageReader.h"

#include <QHash>
#include <QString>

namespace quorlix::pipeline {

// What was read from each saved page, by its path relative to the output
// folder (as the help project lists it).
using SavedPages = QHash<QString, html::Page>;

} // namespace quorlix::pipeline
