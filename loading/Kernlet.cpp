#include "loading/Kernlet.h"

#include "core/TextFormat.h"
#include "link/LostBoard.h"
#include "link/Messages.h"
#include "loading/KernletTexts.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

void ShowError(UserPrompts& prompts, const std::string& text) {
    prompts.MessageBox(text, kCaptionError, MsgIcon::Error);
}

}  // namespace

const char* KernletRefusalMessage(KernletWrite write) {
    switch (write) {
        case KernletWrite::DataChunk: return kMsgRefusedChunk;
        case KernletWrite::EndAddressHigh: return kMsgRefusedEndAddressHigh;
        case KernletWrite::EndAddressLow: return kMsgRefusedEndAddressLow;
        case KernletWrite::EndZero1: return kMsgRefusedEndZero1;
        case KernletWrite::EndZero2: return kMsgRefusedEndZero2;
        case KernletWrite::HeaderAddressHigh: return kMsgRefusedAddressHigh;
        case KernletWrite::HeaderAddressLow: return kMsgRefusedAddressLow;
        case KernletWrite::HeaderLengthHigh: return kMsgRefusedLengthHigh;
        case KernletWrite::HeaderLengthLow: return kMsgRefusedLengthLow;
    }
    return kMsgRefusedChunk;
}

// Sends the file's records through the board link, each write paced by the board, and keeps
// the checksum table.
class CKernlet::PacedLoader final : public KernletLoader {
public:
    PacedLoader(CComInt& link, std::vector<KernletBlockHeader>& table, ProgressScope& shown)
        : link_(link), table_(table), shown_(shown) {}

    uint8_t BlockHeader(const KernletBlockHeader& h) override {
        // A block is through when the next record begins.
        if (!table_.empty()) shown_.Advance(table_.size());
        const uint8_t r =
            SendBytes({{static_cast<uint8_t>(h.address >> 8), KernletWrite::HeaderAddressHigh},
                       {static_cast<uint8_t>(h.address & 0xFF), KernletWrite::HeaderAddressLow},
                       {static_cast<uint8_t>(h.lengthWords >> 8), KernletWrite::HeaderLengthHigh},
                       {static_cast<uint8_t>(h.lengthWords & 0xFF), KernletWrite::HeaderLengthLow}});
        // The checksums stay on the PC, for the verification after the load.
        if (r == kWriteOk) table_.push_back(h);
        return r;
    }
    uint8_t DataChunk(const uint8_t* bytes, size_t count) override {
        return Send(bytes, count, KernletWrite::DataChunk);
    }
    uint8_t EndRecord(uint16_t address) override {
        shown_.Advance(table_.size());
        return SendBytes({{static_cast<uint8_t>(address >> 8), KernletWrite::EndAddressHigh},
                          {static_cast<uint8_t>(address & 0xFF), KernletWrite::EndAddressLow},
                          {0x00, KernletWrite::EndZero1},
                          {0x00, KernletWrite::EndZero2}});
    }

    KernletWrite FailedWrite() const { return failed_; }

private:
    struct OneByte {
        uint8_t value;
        KernletWrite write;
    };
    uint8_t SendBytes(std::initializer_list<OneByte> bytes) {
        for (const OneByte& b : bytes) {
            if (const uint8_t r = Send(&b.value, 1, b.write); r != kWriteOk) return r;
        }
        return kWriteOk;
    }
    uint8_t Send(const uint8_t* data, size_t count, KernletWrite write) {
        // A port failure travels on as CSerialException, as from every board operation: the
        // window ends the action with the port's own message.
        uint8_t r = link_.Write(data, static_cast<uint32_t>(count), 1);
        if (r != kWriteOk) failed_ = write;
        if (r != kWriteOk && r != kWriteRefused) r = kWriteFailed;
        return r;
    }

    CComInt& link_;
    std::vector<KernletBlockHeader>& table_;
    ProgressScope& shown_;
    KernletWrite failed_ = KernletWrite::DataChunk;
};

CKernlet::CKernlet(PageHost& host)
    // The page's bar when the window gives none: it only keeps its position.
    : host_(host), ownBar_(std::make_unique<SilentProgressDialog>()), bar_(ownBar_.get()) {}

CKernlet::~CKernlet() {
    if (key_) key_->Close();
}

void CKernlet::SetProgressBar(ProgressDialog* bar) { bar_ = bar ? bar : ownBar_.get(); }

void CKernlet::OnInitDialog() {
    bar_->SetRange(0, 100);
    device1 = true;
    device2 = false;
    key_ = host_.NewSettingsKey();
    if (!key_) return;
    UserPrompts& prompts = host_.Prompts();
    if (!key_->Open(kImageTab)) {
        ShowError(prompts, kMsgCannotCreateKey);
        key_->Close();
        return;
    }
    std::string dir;
    switch (key_->QueryString(kWorkingDirectoryValue, dir)) {
        case SettingsStatus::Missing:
            if (!key_->SetString(kWorkingDirectoryValue, "")) {
                ShowError(prompts, kMsgCannotCreateEntry);
                key_->Close();
            }
            return;
        case SettingsStatus::Failed:
            ShowError(prompts, kMsgCannotReadEntry);
            key_->Close();
            return;
        case SettingsStatus::Ok:
            if (!dir.empty()) workingDirectory = dir;
            return;
    }
}

bool CKernlet::OnBrowse() {
    FileDialogSpec spec;
    spec.title = kBrowseTitle;
    spec.defaultExtension = kBrowseDefaultExtension;
    spec.filter = kBrowseFilter;
    if (!workingDirectory.empty()) {
        spec.initialDirectory = workingDirectory;
    } else {
        std::error_code ec;
        spec.initialDirectory = std::filesystem::current_path(ec).string();
    }
    const std::optional<std::string> chosen = host_.Prompts().AskOpenFile(spec);
    if (!chosen) return false;
    kernletPath = *chosen;
    // The folder keeps its trailing separator.
    const size_t slash = chosen->find_last_of('/');
    workingDirectory = slash == std::string::npos ? std::string() : chosen->substr(0, slash + 1);
    // The file stays chosen; the user learns that the folder will not be offered next time.
    if (key_ && key_->IsOpen() && !key_->SetString(kWorkingDirectoryValue, workingDirectory)) {
        ShowError(host_.Prompts(), kMsgCannotCreateEntry);
    }
    return true;
}

KernletResult CKernlet::LostBoard() {
    ReportLostBoard(host_.Prompts(), host_.Board().Link());
    return KernletResult::LostBoard;
}

void CKernlet::ShowTooManyBlocks(size_t blocks) {
    ShowError(host_.Prompts(), FormatText(kFmtTooManyBlocks, blocks, kMaxBlocks));
}

bool CKernlet::RefuseFile(const KernletFileSummary& scan) {
    if (scan.blocks.size() > kMaxBlocks) {
        ShowTooManyBlocks(scan.blocks.size());
        return true;
    }
    if (const std::optional<std::string> problem = KernletFileProblem(scan)) {
        ShowError(host_.Prompts(), *problem);
        return true;
    }
    return false;
}

KernletResult CKernlet::OnLoad() {
    UserPrompts& prompts = host_.Prompts();
    if (kernletPath.empty()) {
        ShowError(prompts, kMsgSelectKernlet);
        return KernletResult::Invalid;
    }
    // A file larger than the checksum table is turned away before the device is even reset.
    // One that cannot be opened goes the usual way and is reported after the reset.
    // So is a file that would never complete: the rest of it would go to the device as data.
    if (const auto scan = ScanKernletFile(kernletPath); scan && RefuseFile(*scan))
        return KernletResult::Invalid;
    const uint8_t device = Device();
    if (!host_.Board().ResetDevice(device)) {
        ReportLostBoard(prompts, host_.Board().Link(), kMsgNoCommunicationReset);
        return KernletResult::LostBoard;
    }
    host_.GetClock().SleepMs(kResetWaitMs);
    return LoadKernletFile(device);
}

KernletResult CKernlet::LoadKernletFile(uint8_t device) {
    UserPrompts& prompts = host_.Prompts();
    CMB805QBrd& board = host_.Board();
    bar_->SetStep(1);
    bar_->SetPos(0);

    const std::optional<KernletFileSummary> scan = ScanKernletFile(kernletPath);
    if (!scan) {
        ShowError(prompts, kMsgCannotOpenFile);
        return KernletResult::Invalid;
    }
    if (RefuseFile(*scan)) return KernletResult::Invalid;

    host_.SetKernletLoaded(device, false);
    if (!board.BeginKernletLoad(device)) return LostBoard();

    std::ifstream file;
    if (!OpenKernletFile(kernletPath, file)) {
        ShowError(prompts, kMsgCannotOpenFile);
        return KernletResult::Invalid;
    }
    blocks_.clear();
    checksumsDiffered_ = false;
    KernletWalkResult walk{};
    KernletWrite failedWrite = KernletWrite::DataChunk;
    {
        ProgressScope shown(host_.Progress(), kProgressLoadingKernlet, scan->blocks.size(),
                            kProgressUnitKernletBlocks);
        PacedLoader loader(board.Link(), blocks_, shown);
        KernletFileReader reader(loader);
        reader.SetProgress(bar_, scan->lines / 100);
        walk = reader.Walk(file);
        failedWrite = loader.FailedWrite();
    }
    file.close();
    if (walk.result == kWriteFailed) return LostBoard();
    if (walk.result == kWriteRefused) {
        ShowError(prompts, KernletRefusalMessage(failedWrite));
        bar_->SetPos(0);
        return KernletResult::Refused;
    }

    bar_->SetPos(100);
    uint8_t reply = 0;
    uint32_t got = 0;
    if (board.Link().Read(&reply, got, 1, 1) != kReadAll || got != 1) return LostBoard();
    if (reply != kLoadComplete) {
        ShowError(prompts, kMsgNoLoadOk);
        bar_->SetPos(0);
        return KernletResult::Failed;
    }
    if ((device & host_.KernletOptions()) != 0) return VerifyByReplyWords(device);
    return VerifyByRegisterChecksums(device);
}

uint32_t CKernlet::FileChecksum(size_t block) const {
    return block < blocks_.size() ? blocks_[block].Checksum() : 0;
}

bool CKernlet::AskIgnoreChecksums() {
    if (checksumsPrompt_) return checksumsPrompt_->Ignore(checksums_);
    const std::string text =
        std::string(kChecksumsHeading) + "\n" + checksums_.Block1Text() + "\n" + checksums_.Block2Text();
    return host_.Prompts().MessageBox(text, kChecksumsCaption, MsgIcon::Warning, MsgButtons::OkCancel) ==
           MsgAnswer::Ok;
}

KernletResult CKernlet::VerifyByRegisterChecksums(uint8_t device) {
    CMB805QBrd& board = host_.Board();
    uint16_t productId = 0, version = 0, b8 = 0, b9 = 0, a9 = 0, aa = 0;
    if (!board.ReadReg16(kRegProductId, productId, device) ||
        !board.ReadReg16(kRegVersion, version, device) ||
        !board.ReadReg16(kRegBlock1ChecksumHigh, b8, device) ||
        !board.ReadReg16(kRegBlock1ChecksumLow, b9, device) ||
        !board.ReadReg16(kRegBlock2ChecksumHigh, a9, device) ||
        !board.ReadReg16(kRegBlock2ChecksumLow, aa, device)) {
        return LostBoard();
    }
    productId_ = productId;
    version_ = version;
    checksums_.block1 = (uint32_t{b8} << 16) | b9;
    checksums_.block2 = (uint32_t{a9} << 16) | aa;
    if (checksums_.block1 != FileChecksum(0) || checksums_.block2 != FileChecksum(1)) {
        checksumsDiffered_ = true;
        if (!AskIgnoreChecksums()) {
            bar_->SetPos(0);
            return KernletResult::Cancelled;
        }
    }
    host_.Prompts().MessageBox(FormatText(kFmtLoadCompleteRegisters, productId, version), kCaptionKernletLoad,
                               MsgIcon::Information);
    bar_->SetPos(0);
    host_.SetKernletLoaded(device, true);
    return KernletResult::Ok;
}

KernletResult CKernlet::VerifyByReplyWords(uint8_t device) {
    CMB805QBrd& board = host_.Board();
    UserPrompts& prompts = host_.Prompts();
    for (const KernletBlockHeader& block : blocks_) {
        uint16_t high = 0, low = 0;
        if (!board.ReadReg16(kRegReplyWord, high, device) || !board.ReadReg16(kRegReplyWord, low, device)) {
            return LostBoard();
        }
        if (high != block.checksumHigh || low != block.checksumLow) checksumsDiffered_ = true;
    }
    if (checksumsDiffered_) prompts.MessageBox(kMsgChecksumsDiffer, kCaptionWarning, MsgIcon::None);

    // The Kernlet tells that it runs in its status register; give it two seconds.
    Clock& clock = host_.GetClock();
    const uint64_t deadline = clock.NowMs() + kStartWaitMs;
    uint16_t status = 0;
    for (;;) {
        uint16_t value = 0;
        if (board.ReadReg16(kRegRunStatus, value, device)) {
            status = value;
        } else {
            // Not reported here; a port that fails at once must not spin until the deadline.
            clock.SleepMs(1);
        }
        if ((status & kRunStatusStarted) != 0 || clock.NowMs() >= deadline) break;
    }
    if ((status & kRunStatusStarted) == 0) {
        ShowError(prompts, kMsgStatusTimeout);
        bar_->SetPos(0);
        return KernletResult::Failed;
    }

    uint16_t productId = 0, version = 0;
    if (!board.ReadReg16(kRegReplyWord, productId, device) ||
        !board.ReadReg16(kRegReplyWord, version, device)) {
        return LostBoard();
    }
    productId_ = productId;
    version_ = version;
    prompts.MessageBox(FormatText(kFmtLoadCompleteReplyWords, productId, version), kCaptionKernletLoad,
                       MsgIcon::Information);
    bar_->SetPos(0);
    return KernletResult::Ok;
}
