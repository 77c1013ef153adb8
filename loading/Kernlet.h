#pragma once
// The "Kernlet Load" page: choose a Kernlet file, load it into a target device through the
// board with the board's pacing, then check what the device reports back.
#include "core/PageHost.h"
#include "link/MB805QBrd.h"
#include "loading/Checksums.h"
#include "loading/KernletFileReader.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// How a page operation ended; the window only needs the messages, tr805q-cli the distinction.
enum class KernletResult {
    Ok,  // loaded and verified (a reply-word checksum difference is only warned about)
    Invalid,  // no file chosen, the file cannot be opened or is too large; nothing loaded
    LostBoard,  // the board did not answer; the program is asked to quit
    Refused,  // the board refused a write of the transfer
    Failed,  // no completion from the board, or the Kernlet did not start
    Cancelled,  // the checksums differed and the user chose "Cancel"
};

// The writes of a transfer, each answered by the board's pacing; a refusal is reported by the
// write it hit.
enum class KernletWrite {
    DataChunk,
    EndAddressHigh,
    EndAddressLow,
    EndZero1,
    EndZero2,
    HeaderAddressHigh,
    HeaderAddressLow,
    HeaderLengthHigh,
    HeaderLengthLow,
};
// The message for a refusal of that write.
const char* KernletRefusalMessage(KernletWrite write);

// Board operations report failures as results; a port that fails outright raises
// CSerialException out of OnLoad and LoadKernletFile, which the caller shows.
class CKernlet {
public:
    // The checksum table holds this many blocks; a file with more is not loaded.
    static constexpr size_t kMaxBlocks = 50;
    // Registers the verification reads.
    static constexpr uint8_t kRegReplyWord = 0x4D;
    static constexpr uint8_t kRegRunStatus = 0x7E;
    static constexpr uint8_t kRegBlock2ChecksumHigh = 0xA9;
    static constexpr uint8_t kRegBlock2ChecksumLow = 0xAA;
    static constexpr uint8_t kRegBlock1ChecksumHigh = 0xB8;
    static constexpr uint8_t kRegBlock1ChecksumLow = 0xB9;
    static constexpr uint8_t kRegProductId = 0xC5;
    static constexpr uint8_t kRegVersion = 0xC9;
    static constexpr uint16_t kRunStatusStarted = 0x6000;  // either bit: the Kernlet runs
    static constexpr uint8_t kLoadComplete = 0x10;
    static constexpr uint32_t kResetWaitMs = 100;
    static constexpr uint32_t kStartWaitMs = 2000;

    explicit CKernlet(PageHost& host);
    ~CKernlet();
    CKernlet(const CKernlet&) = delete;
    CKernlet& operator=(const CKernlet&) = delete;

    // Fields, as the screen holds them.
    std::string kernletPath;
    std::string workingDirectory;
    bool device1 = true, device2 = false;  // neither: device 3

    uint8_t Device() const { return device1 ? 1 : device2 ? 2 : 3; }

    // The page's progress bar (0..100) and the checksum warning; without them the page keeps
    // its own bar and asks through a plain OK/Cancel message box.
    void SetProgressBar(ProgressDialog* bar);
    ProgressDialog& ProgressBar() { return *bar_; }
    void SetChecksumsPrompt(ChecksumsPrompt* prompt) { checksumsPrompt_ = prompt; }

    // Page start: the working directory from the settings.
    void OnInitDialog();
    // "Browse": true when a file was chosen.
    bool OnBrowse();
    // "Load": reset the device, then LoadKernletFile.
    KernletResult OnLoad();
    KernletResult LoadKernletFile(uint8_t device);

    // What the last load found.
    size_t BlockCount() const { return blocks_.size(); }
    const std::vector<KernletBlockHeader>& Blocks() const { return blocks_; }
    // The dialog's content: the device's checksums of blocks 1 and 2.
    const CChecksums& DeviceChecksums() const { return checksums_; }
    // The checksums of the file and the device differed (and the user ignored it, or the
    // reply-word check only warned).
    bool ChecksumsDiffered() const { return checksumsDiffered_; }
    uint16_t ProductId() const { return productId_; }
    uint16_t KernletVersion() const { return version_; }

private:
    class PacedLoader;

    KernletResult LostBoard();
    KernletResult VerifyByRegisterChecksums(uint8_t device);
    KernletResult VerifyByReplyWords(uint8_t device);
    bool AskIgnoreChecksums();
    // The file's checksum of block 1 or 2; a block the file does not have counts as 0.
    uint32_t FileChecksum(size_t block) const;
    void ShowTooManyBlocks(size_t blocks);
    // Shows why the scanned file must not be loaded; false for a file that may go.
    bool RefuseFile(const KernletFileSummary& scan);

    PageHost& host_;
    std::unique_ptr<SettingsKey> key_;
    std::unique_ptr<ProgressDialog> ownBar_;
    ProgressDialog* bar_;
    ChecksumsPrompt* checksumsPrompt_ = nullptr;

    std::vector<KernletBlockHeader> blocks_;  // the checksum table, in file order
    CChecksums checksums_;
    bool checksumsDiffered_ = false;
    uint16_t productId_ = 0;
    uint16_t version_ = 0;
};
