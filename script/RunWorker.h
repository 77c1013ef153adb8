#pragma once
// The script worker: while a script runs on the board it is the only reader of the link. It
// takes the board's uplink frames byte by byte, serves the data files beside the script, sends
// file data and acknowledgements to the board, and hands everything that touches the window to
// the page, one post at a time, waiting until the page has taken each.
#include "core/Clock.h"
#include "link/ComInt.h"
#include "script/DataFiles.h"
#include "script/ScriptCompiler.h"
#include "script/ScriptPost.h"
#include "script/UplinkParser.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace script {

// Frames the run host sends to the board.
inline constexpr uint8_t kCmdStartScript = 0x0A;
inline constexpr uint8_t kCmdAbortScript = 0x0B;
inline constexpr uint8_t kCmdFileBlock = 0x0C;
inline constexpr uint8_t kCmdFileLastBlock = 0x0D;
inline constexpr uint8_t kCmdReply = 0x13;
inline constexpr uint8_t kCmdReadFileOpened = 0x14;
inline constexpr uint8_t kCmdBlockWritten = 0x21;

// "7E cmd" and each word high byte first.
std::vector<uint8_t> BoardFrame(uint8_t command, std::initializer_list<uint16_t> words);

class CScriptWorker {
public:
    static constexpr size_t kReceiveBuffer = 256;
    // More bytes than this waiting in the port's receive queue ends the run.
    static constexpr uint32_t kMaxRxQueue = 0xBFFF;
    static constexpr size_t kBlockValues = 1000;
    // When nothing is waiting the worker looks again after this long, rather than spinning.
    static constexpr uint32_t kIdlePollMs = 1;

    CScriptWorker(CComInt& link, const CScriptCompiler& compiler, std::string scriptDirectory,
                  RunShared& shared, ScriptPoster& poster, Clock& clock);
    ~CScriptWorker();
    CScriptWorker(const CScriptWorker&) = delete;
    CScriptWorker& operator=(const CScriptWorker&) = delete;

    // The thread's body: serves the board until the run ends or the page asks it to stop, then
    // closes the files and sets the thread-ended event.
    void Run();

    // One byte from the board; false once the worker is to end. (Run feeds it; tests and the
    // fuzz target feed it directly.)
    bool OnByte(uint8_t byte);
    // Closes the data files; Run does it on the way out.
    void CloseFiles();

    // The path of a data file: the script's folder joined with the name.
    std::string DataPath(const std::string& name) const;

private:
    bool OnFrame(const UplinkFrame& frame);
    bool OpenReadFile(const UplinkFrame& frame);
    bool OpenWriteFile(const UplinkFrame& frame);
    bool ServeReadRequest(uint32_t count);
    bool WriteValue(uint8_t stringIndex, uint16_t value);
    // Resets the hand-over event, posts, and waits until the page has taken the post. False
    // when the page asked the worker to stop (nothing is posted then).
    bool Post(ScriptMsg msg, uint32_t wParam, uint32_t lParam, std::string text = {});
    // Posts the link failure; the worker then ends.
    bool LinkFailed();
    bool Send(const std::vector<uint8_t>& frame);
    std::string StringText(uint8_t stringIndex, uint16_t value, int mode) const;

    CComInt& link_;
    const CScriptCompiler& compiler_;
    std::string directory_;
    RunShared& shared_;
    ScriptPoster& poster_;
    Clock& clock_;

    std::array<uint8_t, kReceiveBuffer> buffer_{};
    size_t fill_ = 0;
    size_t read_ = 0;
    UplinkParser parser_;
    ReadDataFile readFile_;
    WriteDataFile writeFile_;
    // The names the script last opened, for the run-time errors that name a file.
    std::string lastReadName_;
    std::string lastWriteName_;
    std::vector<uint16_t> values_;
};

}  // namespace script
