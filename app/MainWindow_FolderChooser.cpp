// "Output DIR": the user picks the folder that the next conversion writes to.

#include "app/MainWindow.h"
#include "runtime/Runtime.h"

#include <QDir>
#include <QLabel>

namespace quorlix {

void MainWindow::Dir_Click()
{
    // Always starts at the same place and remembers nothing. The output
    // folder changes only when a full path came back; a cancel, a failure or
    // anything short of a full path leaves it as it was, without a word. The
    // path is kept as it came, blanks and all: the download quotes it.
    const std::optional<QString> chosen =
        runtime::BrowseForFolder(QStringLiteral(" Select Output DIR"), QDir::homePath());
    if (chosen && QDir::isAbsolutePath(*chosen))
        Label2->setText(*chosen);
}

} // namespace quorlix
