#pragma once
// Every text the run host, the script page and the script dialogs show or write, in one place.
// Texts with %u, %d or %s are filled by the program's own code (FillNumber, FillText below),
// never handed to printf with script data.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace script {

// What a download counts as it goes (ProgressSink): the frames of the compiled script.
inline constexpr const char* kProgressDownloadingScript = "Downloading script";
inline constexpr const char* kProgressUnitScriptRecords = "records";

// Results list.
inline constexpr std::string_view kTextScriptRunning = "Script running...";
inline constexpr std::string_view kTextScriptFinished = "Script finished";
inline constexpr std::string_view kFmtScriptAbortedAtLine = "Script aborted at line %u";
inline constexpr std::string_view kTextUnableToOpenDataFile = "Error: Unable to open file: ";
inline constexpr std::string_view kTextUnableToStoreData = "Error: Unable to store data: ";
inline constexpr std::string_view kTextRxQueueFull = "Error: Rx Queue is full";
inline constexpr std::string_view kTextDebugPrefix = "DBG - ";
inline constexpr std::string_view kFmtDebugValues = "%u = %u";
// The two characters that end a text continued on the same results-list line.
inline constexpr std::string_view kContinuation = "\\c";

// Reports of an opened read file ("Print").
inline constexpr std::string_view kTextOpenedWav = "Opened wav file, ";
inline constexpr std::string_view kFmtWavSampleRate = "sample rate %u ,";
inline constexpr std::string_view kTextWavStereo = "stereo, ";
inline constexpr std::string_view kTextWavMono = "mono, ";
inline constexpr std::string_view kFmtWavSamples = " %u samples \n";
inline constexpr std::string_view kFmtOpenedBinary = "Opened binary file, %u words \n";
inline constexpr std::string_view kFmtOpenedText = "Opened text file, %u data \n";

// Run-time errors by the code of the board's error frame, 1..22.
inline constexpr std::array<std::string_view, 22> kRunTimeErrors{
    "\r\nError PC out of range at line %d",
    "\r\nError Invalid opcode at line %d",
    "\r\nError Data index out of range at line %d",
    "\r\nError Stack overflow at line %d",
    "\r\nError Stack underflow at line %d",
    "\r\nError Micro text out buffer overflow at line %d",
    "\r\nError Micro file read buffer overflow at line %d",
    "\r\nError Micro file read buffer underflow at line %d",
    "\r\nError Invalid jump destination at line %d",
    "\r\nError Attempt to read past end of file at line %d",
    "\r\nError Failed to open file %s for writing",
    "\r\nError Failed to open file %s for reading",
    "\r\nError Static buffers allocation exceeds allowed size at line %d",
    // Error 14 as the board words it, in two pieces: the text is shown as it stands.
    "\r\nError Invalid static buffer spec"
    "ification at line %d",
    "\r\nError Attempt to write past end of static buffer at line %d",
    "\r\nError Attempt to read past end of static buffer at line %d",
    "\r\nError Static buffer not open for reading at line %d",
    "\r\nError Static buffer not open for writing at line %d",
    "\r\nError Uplink buffer is smaller than requested space at line %d",
    "\r\nSerial framing error",
    "\r\nSerial framing error",
    "\r\nSerial framing error",
};
inline constexpr uint32_t kErrorOpenForWriting = 11;
inline constexpr uint32_t kErrorOpenForReading = 12;
// The program's own, for codes the board may send that have no text.
inline constexpr std::string_view kFmtUnknownRunTimeError = "\r\nError code %u at line %d";

// Dialogs of a paused script.
inline constexpr std::string_view kCaptionScriptPaused = "Script Message-Script Paused";
inline constexpr std::string_view kCaptionEntryDefault = "Dialog Entry";
inline constexpr std::string_view kCaptionYesNoDefault = "Dialog Yes No";
inline constexpr std::string_view kMsgValueNotNumber = "Error - Value must be hexadecimal or integer";
inline constexpr std::string_view kMsgValueOutOfRange = "Error - Value out of range.";
inline constexpr std::string_view kTextOk = "OK";
inline constexpr std::string_view kTextAbort = "Abort";
inline constexpr std::string_view kTextYes = "Yes";
inline constexpr std::string_view kTextNo = "No";

// Script page.
inline constexpr std::string_view kPageCaption = "Script Handler";
inline constexpr std::string_view kTextSelectScript = "Select Script...";
inline constexpr std::string_view kTextRecentButton = ">";
inline constexpr std::string_view kTextRunScript = "Run Script";
inline constexpr std::string_view kTextRun = "Run";
inline constexpr std::string_view kTextClearResults = "Clear Results";
inline constexpr std::string_view kTextSaveResults = "Save Results...";
inline constexpr std::string_view kTextSeeTrace = "See Trace...";
inline constexpr std::string_view kTextClearRecent = "Clear Recent Files List";
inline constexpr std::string_view kTitleSelectScript = "Select Script";
inline constexpr std::string_view kFilterScripts = "Script Files (*.mbs)|*.mbs|All files (*.*)|*.*||";
inline constexpr std::string_view kTitleSaveResults = "Save Script Results";
inline constexpr std::string_view kFilterText = "Text Files (*.txt)|*.txt|All files (*.*)|*.*||";
inline constexpr std::string_view kDefaultExtension = "*.txt";
inline constexpr std::string_view kMsgUnableToSaveResults = "Error - Unable to save results";

// Registry values under ScriptTab.
inline constexpr std::string_view kValueRecentName = "RecentFileName";
inline constexpr std::string_view kValueRecentDirectory = "RecentFileDirectory";
inline constexpr std::string_view kValueFileCount = "FileCount";
inline constexpr std::string_view kValueWorkingDirectory = "WorkingDirectoryScripts";
inline constexpr std::string_view kScriptTab = "ScriptTab";

// Fills the first %u or %d of format with a number.
std::string FillNumber(std::string_view format, int64_t value);
// Fills the first two %u/%d of format with numbers.
std::string FillNumbers(std::string_view format, int64_t first, int64_t second);
// Fills the first %s of format with text, copied as it is.
std::string FillText(std::string_view format, std::string_view text);

}  // namespace script
