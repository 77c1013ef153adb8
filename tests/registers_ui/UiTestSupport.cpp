#include "tests/registers_ui/UiTestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QTest>

// Fontconfig keeps a cache for the whole process that it never frees; not the program's leak.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "registers_ui_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *app;
}

void ChooseItem(QComboBox* combo, int index) {
    for (int guard = 0; combo->currentIndex() != index && guard < combo->count() + 1; ++guard) {
        QTest::keyClick(combo, combo->currentIndex() < index ? Qt::Key_Down : Qt::Key_Up);
    }
}

void SaveScreenshot(QWidget* w, const QString& name) {
    const QString folder = qEnvironmentVariable("TR805Q_SCREENSHOTS");
    if (folder.isEmpty() || !w) return;
    w->grab().save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}
