#pragma once
// The MB805Q board's command protocol: one synchronous request/reply per operation, every
// operation true on success and false on any link or protocol failure.
#include "core/Clock.h"
#include "core/ProgressSink.h"
#include "core/UserPrompts.h"
#include "link/ComInt.h"

#include <cstdint>
#include <string>

struct BoardInfo {
    uint8_t boardType = 0;
    uint8_t versionMajor = 0;
    uint8_t versionMinor = 0;
    uint16_t commandBufferSize = 0;
    uint32_t dataBufferSize = 0;
    uint32_t fileBufferSize = 0;
    uint8_t kernletOptions = 0;
};

struct FirmwareVersion {
    uint8_t firmwareKind = 0;
    uint8_t versionMajor = 0;
    uint8_t versionMinor = 0;
    uint32_t firmwareWord = 0;
};

using FirmwareCode = uint32_t;

struct TraceRecord {
    uint8_t device = 0;
    uint8_t direction = 0;
    uint8_t address = 0;
    uint16_t data = 0;
    uint8_t bytesPerAccess = 0;
    uint8_t accessCount = 0;
    uint8_t accessNumber = 0;
    uint32_t timestamp = 0;
};

class CMB805QBrd {
public:
    CMB805QBrd(Clock& clock, UserPrompts& prompts, ProgressDialog& progress);

    CComInt& Link() { return link_; }
    // The folder the board firmware file is looked up in: the program's own directory.
    void SetProgramDirectory(std::string dir) { programDir_ = std::move(dir); }
    const std::string& ProgramDirectory() const { return programDir_; }
    // Where DownloadFirmware says how far it has come, block by block, besides its progress
    // dialog (null: nowhere).
    void SetProgressSink(ProgressSink* sink) { sink_ = sink ? sink : &NoProgressSink::Instance(); }

    [[nodiscard]] bool ResetDevice(uint8_t device);
    [[nodiscard]] bool WriteReg8(uint8_t addr, uint8_t value, uint8_t device);
    [[nodiscard]] bool WriteReg16(uint8_t addr, uint16_t value, uint8_t device);
    [[nodiscard]] bool ReadReg8(uint8_t addr, uint8_t& value, uint8_t device);
    [[nodiscard]] bool ReadReg16(uint8_t addr, uint16_t& value, uint8_t device);
    [[nodiscard]] bool GetBoardInfo(BoardInfo& info);
    [[nodiscard]] bool BeginKernletLoad(uint8_t device);
    [[nodiscard]] bool GetScriptStatus(uint8_t& status);
    [[nodiscard]] bool ReadTrace(uint32_t start, uint16_t maxCount, TraceRecord* records, uint32_t& count);
    [[nodiscard]] bool BeginFirmwareDownload(uint8_t blocks);
    [[nodiscard]] bool StartFirmwareLoader();
    [[nodiscard]] bool GetFirmwareVersion(FirmwareVersion& version);
    [[nodiscard]] bool GetFirmwareCode(FirmwareCode& code);
    [[nodiscard]] bool LoadFirmware(const std::string& fileName);
    [[nodiscard]] bool DownloadFirmware(const std::string& path);

private:
    // Firmware download steps: the wait for the loader's next block request, and the report
    // of a failure that ends the program.
    bool WaitForBlockRequest(uint32_t block, uint32_t blocks, uint8_t& request);
    void FailDownload(const std::string& text);

    CComInt link_;
    Clock& clock_;
    UserPrompts& prompts_;
    ProgressDialog& progress_;
    ProgressSink* sink_ = &NoProgressSink::Instance();
    std::string programDir_;
};
