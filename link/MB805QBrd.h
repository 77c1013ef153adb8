#pragma once
// The MB805Q board's command protocol: one synchronous request/reply per operation, every
// operation true on success and false on any link or protocol failure.
#include "link/Clock.h"
#include "link/ComInt.h"
#include "link/ProgressSink.h"
#include "link/UserPrompts.h"

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

    bool ResetDevice(uint8_t device);
    bool WriteReg8(uint8_t addr, uint8_t value, uint8_t device);
    bool WriteReg16(uint8_t addr, uint16_t value, uint8_t device);
    bool ReadReg8(uint8_t addr, uint8_t& value, uint8_t device);
    bool ReadReg16(uint8_t addr, uint16_t& value, uint8_t device);
    bool GetBoardInfo(BoardInfo& info);
    bool BeginKernletLoad(uint8_t device);
    bool GetScriptStatus(uint8_t& status);
    bool ReadTrace(uint32_t start, uint16_t maxCount, TraceRecord* records, uint32_t& count);
    bool BeginFirmwareDownload(uint8_t blocks);
    bool StartFirmwareLoader();
    bool GetFirmwareVersion(FirmwareVersion& version);
    bool GetFirmwareCode(FirmwareCode& code);
    bool LoadFirmware(const std::string& fileName);
    bool DownloadFirmware(const std::string& path);

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
