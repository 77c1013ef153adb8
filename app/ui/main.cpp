#include "app/ui/TR805QApp.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tr805q"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.3"));
    CTR805QApp program;
    return program.Run(CTR805QApp::ParseArguments());
}
