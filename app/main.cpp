#include "app/MainWindow.h"
#include "html/HugePageHeap.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // Its downloader and compiler start so as well, told by this.
    quorlix::html::restartWithHugePageHeap(argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quorlix"));
    // No display name: on X11 Qt would append it to every window title, and
    // the boxes must read "quorlix" and the chooser " Select Output DIR".
    QApplication::setDesktopFileName(QStringLiteral("quorlix"));

    quorlix::MainWindow main1;
    main1.show();
    return app.exec();
}
