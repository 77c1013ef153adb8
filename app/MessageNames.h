#pragma once
// The program's registered window messages, by name. Each is registered once when the program
// starts and keeps its number for the run; the script host and the script page use the first
// thirteen, the sheet the last (the loader-wait thread posts it when the board's loader is up).
#include <array>
#include <string_view>

inline constexpr std::string_view kMsgLoaderReady = "QVR_MB805Q_Firmware_LoaderReady";

inline constexpr std::array<std::string_view, 14> kRegisteredMessageNames{
    "QVR_MB805Q_Script_AddText",
    "QVR_MB805Q_Script_Clear",
    "QVR_MB805Q_Script_Debug_Text",
    "QVR_MB805Q_Script_End",
    "QVR_MB805Q_Script_Error",
    "QVR_MB805Q_Script_FOpen_Error",
    "QVR_MB805Q_Script_FStore_Error",
    "QVR_MB805Q_Script_MaxRxQueue",
    "QVR_MB805Q_Script_MessageBox",
    "QVR_MB805Q_Script_MessageBox_Entry",
    "QVR_MB805Q_Script_MessageBox_YesNo",
    "QVR_MB805Q_Script_Print",
    "QVR_MB805Q_Script_ThreadError",
    kMsgLoaderReady,
};
