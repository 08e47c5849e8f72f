#pragma once

#include "runtime/Runtime.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace quorlix::test {

// Stands in for every dialog, the desktop shell and the program end, and
// remembers what was asked of them. Installed for as long as it lives.
class RecordingDialogs final : public runtime::Dialogs {
public:
    struct Message {
        QString text;
        runtime::MsgIcon icon;
        QString title;
    };
    struct ShellCall {
        QString program;
        QStringList arguments;
    };

    RecordingDialogs() { runtime::setDialogs(this); }
    ~RecordingDialogs() override { runtime::setDialogs(nullptr); }
    RecordingDialogs(const RecordingDialogs &) = delete;
    RecordingDialogs &operator=(const RecordingDialogs &) = delete;

    void messageBox(const QString &text, runtime::MsgIcon icon, const QString &title) override
    {
        messages.push_back({text, icon, title});
    }
    std::optional<QString> browseForFolder(const QString &title, const QString &root) override
    {
        folderDialogs.push_back({title, root});
        if (nextFolderAnswer >= folderAnswers.size())
            return std::nullopt;
        return folderAnswers[nextFolderAnswer++];
    }
    bool shellRun(const QString &program, const QStringList &arguments) override
    {
        shellCalls.push_back({program, arguments});
        return shellSucceeds;
    }
    void endProgram(int code) override { endCodes.push_back(code); }

    std::vector<Message> messages;
    std::vector<std::pair<QString, QString>> folderDialogs; // title, root
    std::vector<std::optional<QString>> folderAnswers;      // what the dialogs return, in turn
    std::size_t nextFolderAnswer = 0;
    std::vector<ShellCall> shellCalls;
    bool shellSucceeds = true;
    std::vector<int> endCodes;
};

} // namespace quorlix::test
