// The settings on QSettings: a value in TR805Q.conf that is not a number is reported once, with
// the file and the value's name, and the COM port dialog goes on with the default.
#include "app/ComPortDialog.h"
#include "settings/QtSettingsKey.h"
#include "tests/support/Recorders.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <QString>

#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

// A settings folder of the test's own for QSettings' user scope.
class TempSettings {
public:
    TempSettings() {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromStdString(folder_.Path().string()));
        fs::create_directories(folder_.Path() / "QVR");
    }
    fs::path File() const { return folder_.File("QVR/TR805Q.conf"); }
    void Write(const std::string& text) const { folder_.Write("QVR/TR805Q.conf", text); }
    std::string Read() const { return folder_.Read("QVR/TR805Q.conf"); }

private:
    TempFolder folder_{"tr805q-settings"};
};

TEST(QtSettings, ADamagedValueIsReportedOnceAndTheDialogGoesOnWithTheDefault) {
    struct Case {
        const char* name;
        const char* line;  // in [ScriptTab]
        const char* setting;  // the value reported; null: nothing reported
        const char* what;  // what is wrong with it
        const char* defaultText;
        uint32_t port, baud;  // what the dialog then holds
        const char* storedLine;  // the value in the file afterwards
    };
    const Case cases[] = {
        {"a port that is no number", "Port=abc", "Port", "is not a number", "1", 1, 57600, "Port=1"},
        {"a rate that is no number", "Baud=fast", "Baud", "is not a number", "115200", 3, 115200,
         "Baud=115200"},
        {"a negative port", "Port=-2", "Port", "is not a number", "1", 1, 57600, "Port=1"},
        {"a port beyond 32 bits", "Port=99999999999", "Port", "is out of range", "1", 1, 57600, "Port=1"},
        {"a good value", "Baud=9600", nullptr, "", "", 3, 9600, "Baud=9600"},
    };
    for (const Case& c : cases) {
        TempSettings settings;
        // Every other value is stored and good: the port is COM3.
        std::string text = "[ScriptTab]\n";
        for (const char* good :
             {"Port=3", "Baud=57600", "Parity=0", "Databits=8", "Stopbits=0", "FlowControl=0"}) {
            const std::string name = std::string(good).substr(0, std::string(good).find('='));
            text += std::string(c.line).rfind(name + "=", 0) == 0 ? std::string(c.line) : std::string(good);
            text += "\n";
        }
        settings.Write(text);

        RecordingPrompts prompts;
        CComPortDialog dialog(
            prompts, [&prompts] { return std::make_unique<QtSettingsKey>(&prompts); },
            [] {
                return std::vector<int>{1, 3};
            });
        dialog.OnInitDialog();
        if (c.setting) {
            ASSERT_EQ(prompts.messages.size(), 1u) << c.name;
            EXPECT_EQ(prompts.messages[0].text, "Error - The setting " + std::string(c.setting) + " in " +
                                                    settings.File().string() + " " + c.what +
                                                    "; the default " + c.defaultText + " is used")
                << c.name;
            EXPECT_EQ(prompts.messages[0].caption, "Warning") << c.name;
            EXPECT_EQ(prompts.messages[0].icon, MsgIcon::Warning) << c.name;
        } else {
            EXPECT_TRUE(prompts.messages.empty()) << c.name;
        }
        EXPECT_EQ(dialog.portEntries, (std::vector<std::string>{"COM1", "COM3"}))
            << c.name << ": the dialog goes on";
        dialog.OnOK();
        EXPECT_EQ(dialog.Settings().port, c.port) << c.name;
        EXPECT_EQ(dialog.Settings().baud, c.baud) << c.name;
        EXPECT_NE(settings.Read().find(std::string(c.storedLine) + "\n"), std::string::npos) << c.name;

        // Shown once: the default is now stored.
        prompts.messages.clear();
        dialog.OnInitDialog();
        EXPECT_TRUE(prompts.messages.empty()) << c.name;
        dialog.OnCancel();
    }
}

}  // namespace
