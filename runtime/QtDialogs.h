#pragma once

#include "runtime/Runtime.h"

namespace quorlix::runtime {

// The real dialogs, shell and program end, on Qt.
class QtDialogs final : public Dialogs {
public:
    void messageBox(const QString &text, MsgIcon icon, const QString &title) override;
    std::optional<QString> browseForFolder(const QString &title, const QString &root) override;
    bool shellRun(const QString &program, const QStringList &arguments) override;
    void endProgram(int code) override;
};

} // namespace quorlix::runtime
