#pragma once

// The few services of the window runtime that the program relies on.
// Everything that shows a modal dialog, starts a program for the desktop or
// ends the process goes through a replaceable Dialogs object, so tests can
// record what would have been shown instead of waiting for a person.

#include "runtime/RuntimeError.h"

#include <QString>
#include <optional>

namespace quorlix::runtime {

// The application's title, used for every message box that names none.
inline constexpr const char *kAppTitle = "quorlix";

enum class MsgIcon { None, Stop };

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Modal box with one OK button; returns when it is closed.
    virtual void messageBox(const QString &text, MsgIcon icon, const QString &title) = 0;
    // Folder-only dialog without an owner window; the chosen folder's full
    // path, or nothing when the user cancelled or no path could be had.
    virtual std::optional<QString> browseForFolder(const QString &title, const QString &root) = 0;
    // Starts a command for the desktop and returns at once. Returns false
    // when the program could not be started at all.
    virtual bool shellRun(const QString &program, const QStringList &arguments) = 0;
    // Ends the program at once.
    virtual void endProgram(int code) = 0;
};

// Installs a replacement (tests); nullptr restores the real one.
void setDialogs(Dialogs *dialogs);
Dialogs &dialogs();

// Message box; an empty title means the application's title.
void MsgBox(const QString &text, MsgIcon icon = MsgIcon::None, const QString &title = {});

// Shows a trapped error as "<description> - <source> - <number>", no icon.
void ReportError(const RuntimeError &error);

// Runs every event already queued for this thread, nested in the caller.
void DoEvents();

// The variable's value, or empty text when it is not set.
QString Environ(const QString &name);
// Sets the variable for the programs started from now on; empty text unsets it.
void SetEnviron(const QString &name, const QString &value);

// Ends the program at once: no further handler runs.
void End();

// Folder dialog; see Dialogs::browseForFolder.
std::optional<QString> BrowseForFolder(const QString &title, const QString &root);

// Starts a command without waiting, the way a desktop shell does: the first
// blank-separated word is the program (looked up on PATH), the rest of the
// line, blanks and all, is its one argument. Throws RuntimeError when the
// program cannot be started.
void ShellRun(const QString &command);

} // namespace quorlix::runtime
