#include "app/MainWindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quorlix"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quorlix"));
    QApplication::setDesktopFileName(QStringLiteral("quorlix"));

    quorlix::MainWindow main1;
    main1.show();
    return app.exec();
}
