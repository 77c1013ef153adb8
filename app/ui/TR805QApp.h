#pragma once
// The application: reads the command line, registers the messages, makes the sheet's
// surroundings (clock, prompts, settings, port table, optionally a simulated board on a pty),
// runs the sheet and returns the program's exit code.
#include <QApplication>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

class CTR805QSheetView;
class QtUserPrompts;

struct AppOptions {
    // Serve a simulated board on a pseudo-terminal and offer its port first.
    bool simulate = false;
    // With simulate: the served line's baud rate (0: bytes move at once), and the trace entries
    // the board starts with.
    uint32_t lineRate = 0;
    size_t fillTrace = 0;
    // A folder for the settings file and the port table instead of the user's configuration
    // folder (for trying the program without touching the user's settings).
    QString configDir;
};

// The Qt application with the rule for a port exception that reaches an event handler (an
// exception must never leave one, where it would end the program at once): it is a lost
// board, reported through the window's prompts, and the program ends with its code.
class CTR805QApplication final : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override;
    // The prompts the lost board is reported through, while the window runs.
    void SetPrompts(QtUserPrompts* prompts) { prompts_ = prompts; }

private:
    QtUserPrompts* prompts_ = nullptr;
};

class CTR805QApp {
public:
    // Parses the program's arguments without a display; --help, --version and errors end the
    // program there.
    static AppOptions ParseArguments(int argc, char** argv);
    int Run(const AppOptions& options);
};

// The program cannot show its window: the exit code, and the one line that says why and what
// works without a display.
inline constexpr int kExitNoDisplay = 1;
std::optional<std::string> NoDisplayReason(int argc, char** argv);

// Initialises the sheet (the port dialog, the connection) and runs the window until the quit
// request; returns its exit code (2 when the port dialog was cancelled).
int RunSheet(CTR805QSheetView& view, QtUserPrompts& prompts);
