#include <QApplication>
#include <QStringList>
#include <cstdio>
#include <cstring>

#include "ui/app.h"
#include "ui/main_frame.h"
#include "zelpan_version.h"

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("zelpan %s\n", ZELPAN_VERSION_TEXT);
            return 0;
        }
    QApplication qt(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Veltor"));
    QApplication::setApplicationName(QStringLiteral("Zelpan"));
    QApplication::setApplicationVersion(QStringLiteral(ZELPAN_VERSION_TEXT));
    QApplication::setDesktopFileName(QStringLiteral("zelpan"));

    zelpan::CZelpanApp app;
    zelpan::CMainFrame main;
    main.show();
    QStringList files = QApplication::arguments().mid(1);
    if (files.isEmpty())
        main.newDocument();
    else
        main.openFiles(files);
    return qt.exec();
}
