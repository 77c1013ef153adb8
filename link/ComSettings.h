#pragma once
// The six COM port settings the window keeps under ScriptTab, with their stored names and
// defaults.
#include "core/SettingsKey.h"
#include "link/SerialDevice.h"

#include <array>
#include <cstdint>

struct ComSettings {
    uint32_t port = 1;
    uint32_t baud = 115200;
    uint32_t parity = ParityNone;
    uint32_t dataBits = 8;
    uint32_t stopBits = StopOne;
    uint32_t flowControl = FlowNone;

    SerialLineSettings Line() const {
        return {baud, static_cast<int>(parity), static_cast<uint8_t>(dataBits), static_cast<int>(stopBits),
                static_cast<int>(flowControl)};
    }
};

inline constexpr const char* kComSettingsTab = "ScriptTab";

struct ComSettingField {
    const char* name;
    uint32_t ComSettings::*field;
    uint32_t defaultValue;
};

// In the order they are read and stored.
inline constexpr std::array<ComSettingField, 6> kComSettingFields{{
    {"Port", &ComSettings::port, 1},
    {"Baud", &ComSettings::baud, 115200},
    {"Parity", &ComSettings::parity, ParityNone},
    {"Databits", &ComSettings::dataBits, 8},
    {"Stopbits", &ComSettings::stopBits, StopOne},
    {"FlowControl", &ComSettings::flowControl, FlowNone},
}};

// Reads what is stored, leaving defaults where a value is missing or unreadable; creates nothing.
inline ComSettings ReadStoredComSettings(SettingsKey& key) {
    ComSettings s;
    for (const auto& f : kComSettingFields) {
        uint32_t v = 0;
        if (key.QueryDword(f.name, v) == SettingsStatus::Ok) s.*f.field = v;
    }
    return s;
}

// The board link's time-outs, set once the port is open: a one-byte read gives up after about
// half a second.
inline constexpr SerialTimeouts kBoardTimeouts{500, 1, 500, 1, 500};

// Shown when the chosen port cannot be opened; %d is the port number.
inline constexpr const char* kMsgUnableToOpenPort =
    "Unable to open port COM%d.\nCheck board connection to COM port.";
inline constexpr const char* kCaptionComPort = "COM Port";
