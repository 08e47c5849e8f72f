// "Output DIR": the user picks the folder that the next conversion writes to.

#include "app/MainWindow.h"
#include "app/runtime/Runtime.h"

#include <QDir>
#include <QLabel>

namespace quorlix {

void MainWindow::Dir_Click()
{
    // Always starts at the same place, remembers nothing, and changes the
    // output folder only when a full path came back; a cancel or a failure
    // leaves it as it was, without a word.
    const std::optional<QString> chosen =
        runtime::BrowseForFolder(QStringLiteral(" Select Output DIR"), QDir::homePath());
    if (chosen && !chosen->isEmpty())
        Label2->setText(*chosen);
}

} // namespace quorlix
