#pragma once

#include <QString>
#include <QStringList>

namespace quorlix::process {

// Splits a console command line the way the programs we start expect it:
// blanks and tabs separate words, double quotes group blanks into a word and
// are removed, and nothing else is special (a backslash is just a character).
// A pair of quotes with nothing between them makes an empty word.
QStringList SplitCommandLine(const QString &commandLine);

// The file to execute for a command line's program word. Backslashes are
// folder separators here. A word with a separator is taken relative to
// workingDir unless it is absolute; a bare name is looked for in workingDir
// first and then along PATH. Returns the word as a path when nothing is
// found, so that starting it fails in the usual way.
QString ResolveProgram(const QString &programWord, const QString &workingDir);

} // namespace quorlix::process
