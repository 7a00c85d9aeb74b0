#include <QApplication>
#include <QMainWindow>
#include <cstdio>
#include <cstring>

#include "decode/engine.h"
#include "zelpan_version.h"

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("zelpan %s\n", ZELPAN_VERSION_TEXT);
            return 0;
        }
    QApplication app(argc, argv);
    zelpan::init_protocol_table();
    QMainWindow w;
    w.setWindowTitle("Zelpan");
    w.show();
    return app.exec();
}
