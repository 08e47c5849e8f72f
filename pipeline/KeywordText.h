#pragma once

// Keywords and entry names as a reader types and reads them.

#include <QPair>
#include <QString>

namespace quorlix::pipeline {

// Without the section number in front ("16.2 ", "1.1.10. ", "A.3 ") and the
// signs pages put around a name (a member's "◆", a permalink's "¶" or "#",
// "§", RDoc's "¶ ↑", zero-width spaces); white space collapsed.
QString CleanedKeyword(const QString &text);

// A title after its label and number ("Chapter 5. Variables", "Part II.
// Reference", "Appendix A. Copying" as "Variables", "Reference", "Copying");
// "" when text has none.
QString WithoutNumberedLabel(const QString &text);

// The name a dotted path ends in, with or without a parameter list after
// it ("fs.readFile(path[, options])", "a.b.c" as "readFile", "c"); "" for
// anything else: one name alone, a file or host name ("index.html",
// "Node.js"), a version ("v1.2"), a sentence.
QString LastNameOfPath(const QString &text);

// Whether text is nothing but names joined by dots ("os.path.join",
// "sys.ps1", "config.json"; not "os", "v1.2", "os.path.join()").
bool IsPathOfNames(const QString &text);

// A documented name after the kind of thing it is ("Class: tty.ReadStream",
// "Static method: Buffer.alloc(size)" as "tty.ReadStream",
// "Buffer.alloc(size)"); "" when text is no such name ("Example: Using a
// custom agent", "Event: 'close'").
QString NameAfterItsKind(const QString &text);

// A piece of running text rather than a term: three words or more that end
// in a word no name ends in ("Added the of argument to", "a number or"),
// or, with wholeSentences, more than 12 words.
bool IsRunningText(const QString &text, bool wholeSentences);

// "join() (in module os.path)" as "join()" and "in module os.path"; a text
// without a trailing parenthesis as itself and "".
QPair<QString, QString> SplitQualifier(const QString &text);

// Order as people read lists: without regard to case, numbers by their
// value ("2" before "10"); texts that differ only in case in a fixed order.
int NaturalCompare(const QString &a, const QString &b);
// The same for a.toCaseFolded() and b.toCaseFolded(), without making them.
int NaturalCompareFolded(const QString &a, const QString &b);

} // namespace quorlix::pipeline
