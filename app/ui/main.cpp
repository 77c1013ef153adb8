#include "app/ui/TR805QApp.h"
#include "core/Version.h"

#include <QApplication>

int main(int argc, char** argv) {
    CTR805QApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tr805q"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kVersionSuffix));
    CTR805QApp program;
    return program.Run(CTR805QApp::ParseArguments());
}
