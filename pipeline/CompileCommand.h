#pragma once

#include <QString>

namespace quorlix::pipeline {

// The help compiler's command line, with the project path quoted.
QString CompileCommandLine(const QString &projectPath);

// The viewer's command: the compiled file's path follows unquoted, blanks
// and all (the desktop shell hands the rest of the line over as one).
QString ViewerCommand(const QString &compiledPath);

} // namespace quorlix::pipeline
