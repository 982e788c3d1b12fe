#include "app/modMain.h"
#include "ui/WindowPlacement.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstring>

int main(int argc, char *argv[])
{
    // Moving an office's database needs no window (and no display).
    if (argc == 4 && std::strcmp(argv[1], "--copy-database") == 0) {
        QCoreApplication application(argc, argv);
        const QStringList arguments = QCoreApplication::arguments();
        return modMain::CopyDatabase(arguments.at(2), arguments.at(3));
    }
    QApplication application(argc, argv);
    WindowPlacement::install();
    return modMain::Main();
}
