#include "app/ui/TR805QApp.h"

#include "app/ui/QtPrompts.h"
#include "app/ui/QuitOnSignal.h"
#include "app/ui/RegisteredMessages.h"
#include "app/ui/TR805QSheetView.h"
#include "app/ui/WindowProgress.h"
#include "core/ExitCodes.h"
#include "core/PageHost.h"
#include "link/LostBoard.h"
#include "link/MB805QBrd.h"
#include "link/Messages.h"
#include "link/PortTable.h"
#include "link/ui/BoardActivity.h"
#include "settings/QtSettingsKey.h"
#include "sim/port/PtyServer.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QMessageBox>
#include <QSettings>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

// Faster than any serial line a kit has.
constexpr qulonglong kMaxLineRate = 100'000'000;

// Qt's own options of a window application ("-platform offscreen", "-style=fusion"): the
// window's application takes them, the program's parser must not call them unknown.
// 0: not one; 1: a flag; 2: takes the next argument as its value (unless given with "=").
int QtWindowOption(std::string arg) {
    if (arg.rfind("--", 0) == 0) arg.erase(0, 1);
    const size_t equals = arg.find('=');
    const bool hasValue = equals != std::string::npos;
    if (hasValue) arg.erase(equals);
    static const char* const withValue[] = {"-platform",
                                            "-platformpluginpath",
                                            "-platformtheme",
                                            "-plugin",
                                            "-qwindowgeometry",
                                            "-qwindowtitle",
                                            "-qwindowicon",
                                            "-display",
                                            "-geometry",
                                            "-title",
                                            "-name",
                                            "-style",
                                            "-stylesheet",
                                            "-session"};
    static const char* const flags[] = {"-reverse", "-widgetcount", "-nograb", "-dograb", "-sync"};
    for (const char* o : withValue) {
        if (arg == o) return hasValue ? 1 : 2;
    }
    for (const char* o : flags) {
        if (arg == o) return 1;
    }
    return 0;
}

}  // namespace

AppOptions CTR805QApp::ParseArguments(int argc, char** argv) {
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        const int qt = i > 0 ? QtWindowOption(argv[i]) : 0;
        if (qt == 0) args.push_back(argv[i]);
        if (qt == 2) ++i;
    }
    args.push_back(nullptr);
    int count = static_cast<int>(args.size()) - 1;
    // A core application reads the arguments (and answers --help and --version) before the
    // window's application, which needs a display, is made.
    const QCoreApplication reader(count, args.data());
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Controls the MB805Q evaluation kit."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption simulate(
        QStringLiteral("simulate"),
        QStringLiteral("Serve a simulated MB805Q board on a pseudo-terminal and offer its port."));
    const QCommandLineOption configDir(
        QStringLiteral("config-dir"),
        QStringLiteral("Keep the settings and the port table in <folder> instead of the user's "
                       "configuration folder."),
        QStringLiteral("folder"));
    const QCommandLineOption lineRate(
        QStringLiteral("line-rate"),
        QStringLiteral("With --simulate: move every byte at the wire time of a serial line of <baud> "
                       "(10 bits a byte), as on the kit."),
        QStringLiteral("baud"));
    const QCommandLineOption fillTrace(
        QStringLiteral("fill-trace"),
        QStringLiteral("With --simulate: the board starts with <n> trace entries recorded."),
        QStringLiteral("n"));
    parser.addOption(simulate);
    parser.addOption(configDir);
    parser.addOption(lineRate);
    parser.addOption(fillTrace);
    parser.process(reader);
    AppOptions options;
    options.simulate = parser.isSet(simulate);
    options.configDir = parser.value(configDir);
    // Refused as the parser refuses an unknown option: a message on standard error, exit 1.
    auto refuse = [](const char* text) {
        std::fprintf(stderr, "%s\n", text);
        std::exit(1);
    };
    if ((parser.isSet(lineRate) || parser.isSet(fillTrace)) && !options.simulate) {
        refuse("--line-rate and --fill-trace need --simulate");
    }
    bool ok = true;
    if (parser.isSet(lineRate)) {
        const qulonglong baud = parser.value(lineRate).toULongLong(&ok);
        if (!ok || baud > kMaxLineRate) refuse("--line-rate expects a baud rate from 0 to 100000000");
        options.lineRate = static_cast<uint32_t>(baud);
    }
    if (parser.isSet(fillTrace)) {
        const qulonglong entries = parser.value(fillTrace).toULongLong(&ok);
        if (!ok) refuse("--fill-trace expects a number of trace entries");
        if (entries > sim::Board::kTraceEntries)
            refuse("--fill-trace: the trace memory holds at most 131072 (0x20000) entries");
        options.fillTrace = static_cast<size_t>(entries);
    }
    return options;
}

std::optional<std::string> NoDisplayReason(int argc, char** argv) {
    // A platform named on the command line or in the environment (offscreen, vnc, ...) is Qt's
    // to judge; only the default one needs a display server.
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.rfind("--", 0) == 0) arg.erase(0, 1);
        if (arg == "-platform" || arg.rfind("-platform=", 0) == 0) return std::nullopt;
    }
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY") ||
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        return std::nullopt;
    }
    return "tr805q: no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is set); "
           "tr805q-cli does the same work without one, e.g. tr805q-cli --simulate info";
}

int RunSheet(CTR805QSheetView& view, QtUserPrompts& prompts) {
    {
        // The connection holds the window's thread: the port's reopen waits a second and a
        // half once the window is up, and the identification talks to the board.
        const CBoardActivity activity;
        if (!view.Sheet().Initialise()) return prompts.QuitCode().value_or(kExitCancelled);
    }
    // The board may already be lost: the program ends with the code asked for.
    if (const std::optional<int> code = prompts.QuitCode()) return *code;
    return QApplication::exec();
}

int CTR805QApp::Run(const AppOptions& options) {
    RegisterMessages();
    // The program ends by its own quit request (with its exit code), not when a window closes.
    QApplication::setQuitOnLastWindowClosed(false);

    std::optional<PortTable> table;
    if (options.configDir.isEmpty()) {
        table = PortTable::ForCurrentUser();
    } else {
        const QString folder = QDir(options.configDir).absolutePath();
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
        table.emplace(std::filesystem::path(folder.toStdString()) / "QVR" / "ports");
    }

    // Signals are taken before anything is registered that only a clean end removes (the
    // simulated board's port link): a SIGTERM right after start still ends the program its way.
    QtUserPrompts prompts;
    QuitOnSignals(prompts);
    auto* application = dynamic_cast<CTR805QApplication*>(QCoreApplication::instance());
    if (application != nullptr) application->SetPrompts(&prompts);
    // The prompts end with this function; the application outlives it.
    struct ForgetPrompts {
        CTR805QApplication* app;
        ~ForgetPrompts() {
            if (app != nullptr) app->SetPrompts(nullptr);
        }
    } forgetPrompts{application};

    std::unique_ptr<sim::PtyServer> simulated;
    std::optional<int> simulatedPort;
    if (options.simulate) {
        sim::BoardConfig config;
        config.fillTrace = options.fillTrace;
        simulated = std::make_unique<sim::PtyServer>(std::make_unique<sim::Board>(config));
        simulated->SetLineRate(options.lineRate);
        std::string error;
        if (!simulated->Start(*table, &error) || simulated->PortNumber() < 0) {
            QMessageBox::critical(nullptr, QStringLiteral("Error"),
                                  QStringLiteral("Error - The simulated board could not be started\n%1")
                                      .arg(QString::fromStdString(error)));
            return 1;
        }
        simulatedPort = simulated->PortNumber();
    }

    CProgressDialog progress;
    CWindowProgress progressSink(progress);
    SheetPlatform platform;
    platform.clock = &SystemClock::Instance();
    platform.prompts = &prompts;
    platform.progress = &progress;
    platform.progressSink = &progressSink;
    // A damaged value in the settings file is reported in the window.
    platform.newSettingsKey = [&prompts] { return std::make_unique<QtSettingsKey>(&prompts); };
    platform.activePorts = [&table] { return table->ActivePorts(); };
    platform.programDirectory = QCoreApplication::applicationDirPath().toStdString();
    platform.deviceOpener = [&table](int number) -> std::unique_ptr<SerialDevice> {
        const std::optional<std::string> path = table->DevicePath(number);
        return path ? OpenPosixSerialDevice(*path) : nullptr;
    };
    platform.preselectPort = simulatedPort;

    CTR805QSheetView view(platform);
    prompts.SetOwner(&view);
    progress.SetOwner(&view);
    progressSink.SetOwner(&view);
    return RunSheet(view, prompts);
}

bool CTR805QApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const CSerialException& e) {
        if (prompts_ != nullptr) {
            ReportLostBoardWithDetail(*prompts_, LostBoardText(), PortFailureText(e));
        } else {
            QCoreApplication::exit(kExitLostBoard);
        }
    } catch (const std::exception&) {
        QMessageBox::critical(activeWindow(), QString::fromLatin1(kPortFailureCaption),
                              QString::fromLatin1(kMsgCommandFailed));
    }
    return false;
}
