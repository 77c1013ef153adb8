#include "app/ui/TR805QApp.h"
#include "link/Version.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication::setApplicationName(QStringLiteral("tr805q"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kVersionSuffix));
    // --help, --version and a wrong option are answered before the window's application
    // exists: they need no display.
    const AppOptions options = CTR805QApp::ParseArguments(argc, argv);
    if (const std::optional<std::string> why = NoDisplayReason(argc, argv)) {
        std::fprintf(stderr, "%s\n", why->c_str());
        return kExitNoDisplay;
    }
    CTR805QApplication application(argc, argv);
    CTR805QApp program;
    return program.Run(options);
}
