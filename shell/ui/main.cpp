#include <QApplication>

#include "shell/ui/startup.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    return run_application(app);
}
