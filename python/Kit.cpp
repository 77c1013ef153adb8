#include "python/Kit.h"

#include "core/TextFormat.h"
#include "core/UnattendedAnswer.h"
#include "link/ComSettings.h"
#include "link/LostBoard.h"
#include "link/Messages.h"
#include "link/PortFailure.h"
#include "link/PortTable.h"
#include "link/ReplacingFile.h"
#include "loading/Kernlet.h"
#include "loading/KernletTexts.h"
#include "registers/RegisterConfigFile.h"
#include "registers/Trace.h"
#include "registers/TraceExport.h"
#include "registers/ZLINKControl.h"
#include "script/CompileMessages.h"
#include "script/CompiledScript.h"
#include "script/ResultsList.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include <fcntl.h>
#include <unistd.h>

namespace kit {
namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

void CheckDevice(int device) {
    if (device < 1 || device > 3)
        throw std::invalid_argument("device must be 1, 2 or 3, not " + std::to_string(device));
}

void CheckBits(int bits) {
    if (bits != 8 && bits != 16)
        throw std::invalid_argument("bits must be 8 or 16, not " + std::to_string(bits));
}

void CheckAddress(int address) {
    if (address < 0 || address > 0xFF) {
        throw std::invalid_argument("register address must be 0x00 to 0xFF, not " + std::to_string(address));
    }
}

// The page's device choices for a device number.
template <typename Page>
void ChooseDevice(Page& page, int device) {
    page.device1 = device == 1;
    page.device2 = device == 2;
}

// The checksum warning is not a question here: the load goes on and its report says whether
// the checksums matched.
class IgnoreChecksums final : public ChecksumsPrompt {
public:
    bool Ignore(const CChecksums&) override { return true; }
};

}  // namespace

int FileErrorCode(const std::string& path, bool forWriting) {
    std::error_code ec;
    if (!forWriting && std::filesystem::is_directory(path, ec)) return EISDIR;
    const int fd = ::open(path.c_str(), forWriting ? (O_WRONLY | O_APPEND) : O_RDONLY);
    if (fd >= 0) {
        ::close(fd);
        return EIO;
    }
    if (forWriting && errno == ENOENT) {
        // A new file: its folder decides.
        const std::filesystem::path folder = std::filesystem::path(path).parent_path();
        const std::string dir = folder.empty() ? "." : folder.string();
        if (::access(dir.c_str(), W_OK) != 0) return errno;
        return EIO;
    }
    return errno;
}

// ---- Recording prompts ----

MsgAnswer RecordingUserPrompts::MessageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                                           MsgButtons buttons) {
    Record({text, caption, icon, {}});
    return UnattendedAnswer(buttons);
}

void RecordingUserPrompts::ErrorWithDetail(const std::string& text, const std::string& caption,
                                           const std::string& detail) {
    Record({text, caption, MsgIcon::Error, detail});
}

void RecordingUserPrompts::PostQuit(int) { quit_ = true; }

void RecordingUserPrompts::Record(KitMessage m) {
    std::lock_guard lock(mutex_);
    messages_.push_back(std::move(m));
}

std::vector<KitMessage> RecordingUserPrompts::Messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

size_t RecordingUserPrompts::Count() const {
    std::lock_guard lock(mutex_);
    return messages_.size();
}

std::optional<KitMessage> RecordingUserPrompts::LastError(size_t from) const {
    std::lock_guard lock(mutex_);
    for (size_t i = messages_.size(); i > from; --i) {
        if (messages_[i - 1].icon == MsgIcon::Error) return messages_[i - 1];
    }
    return std::nullopt;
}

// ---- The kit ----

// One action at a time on a kit. A second thread waits for its turn; the thread that holds
// the turn (a callback of a running action) may not start another action, which would
// interleave its exchanges with the running one.
class Kit::Turn {
public:
    explicit Turn(Kit& kit) : kit_(kit) {
        if (kit.owner_.load() == std::this_thread::get_id()) {
            throw std::runtime_error(
                "the kit is busy with the action that called back; a callback cannot use it");
        }
        kit.turn_.lock();
        kit.owner_ = std::this_thread::get_id();
    }
    ~Turn() {
        kit_.owner_ = std::thread::id();
        kit_.turn_.unlock();
    }
    Turn(const Turn&) = delete;
    Turn& operator=(const Turn&) = delete;

private:
    Kit& kit_;
};

void Kit::ProgressToCallback::Begin(const std::string&, uint64_t total, const std::string&) {
    total_ = total;
    Advance(0);
}

void Kit::ProgressToCallback::Advance(uint64_t done) {
    if (report && *report) (*report)(static_cast<int>(done), static_cast<int>(total_));
}

Kit::Kit(std::unique_ptr<sim::InProcessBoard> simulated)
    : simulated_(std::move(simulated)),
      clock_(&sim::InProcessBoard::HostClock(simulated_.get())),
      board_(*clock_, prompts_, progress_) {
    if (simulated_) simulated_->ServeOn(board_.Link().Port());
}

Kit::~Kit() { board_.Link().Port().Close(); }

void Kit::OpenPort(const BoardPortName& port, const SerialLineSettings& line) {
    if (const std::optional<BoardPortFailure> failure = OpenBoardPort(board_.Link().Port(), port, line)) {
        throw PortOpenError(failure->reason.empty() ? failure->text : failure->text + "\n" + failure->reason,
                            failure->code);
    }
    closed_ = false;
}

std::unique_ptr<Kit> Kit::Open(const BoardPortName& port, const SerialLineSettings& line) {
    if (port.number && (*port.number < 0 || *port.number > PortTable::kMaxPort)) {
        throw std::invalid_argument("COM port numbers run from 0 to 99, not " + std::to_string(*port.number));
    }
    std::unique_ptr<Kit> kit(new Kit(nullptr));
    kit->OpenPort(port, line);
    return kit;
}

std::unique_ptr<Kit> Kit::Simulated(const SimulatedBoard& options) {
    auto simulated = std::make_unique<sim::InProcessBoard>(options.config, options.lineRate);
    simulated->board().faults() = options.faults;
    simulated->board().SetScriptStatus(options.scriptStatus);
    std::unique_ptr<Kit> kit(new Kit(std::move(simulated)));
    if (!options.logPath.empty()) {
        kit->log_.open(options.logPath, std::ios::out | std::ios::trunc);
        if (!kit->log_) {
            throw FileAccessError("Cannot write the log file", options.logPath,
                                  FileErrorCode(options.logPath, true));
        }
        kit->simulated_->board().SetRequestLogger(
            [k = kit.get()](const std::string& line) { k->log_ << line << std::endl; });
    }
    kit->OpenPort(BoardPortName::Number(1), SerialLineSettings{115200, ParityNone, 8, StopOne, FlowNone});
    return kit;
}

void Kit::Close() {
    Turn turn(*this);
    board_.Link().Port().Close();
    closed_ = true;
}

bool Kit::Closed() const { return closed_; }

std::string Kit::LastErrorText() const {
    const std::optional<KitMessage> m = prompts_.LastError(actionStart_);
    return m ? m->text : std::string();
}

void Kit::ThrowIfLost() {
    if (!prompts_.QuitRequested()) return;
    // The window ends here; the kit closes, and the caller gets the report.
    std::optional<KitMessage> m = prompts_.LastError(actionStart_);
    board_.Link().Port().Close();
    closed_ = true;
    prompts_.ClearQuit();
    if (!m) m = KitMessage{LostBoardText(), kCaptionError, MsgIcon::Error, {}};
    throw LostBoardError(m->text, m->detail);
}

template <typename F>
auto Kit::Action(F&& f) -> decltype(f()) {
    Turn turn(*this);
    if (closed_) throw std::invalid_argument("the kit is closed");
    actionStart_ = prompts_.Count();
    prompts_.ClearQuit();
    try {
        if constexpr (std::is_void_v<decltype(f())>) {
            f();
            ThrowIfLost();
        } else {
            auto result = f();
            ThrowIfLost();
            return result;
        }
    } catch (const CSerialException& e) {
        // A port that fails during a board operation is a lost board.
        ReportLostBoardWithDetail(prompts_, LostBoardText(), PortFailureText(e));
        ThrowIfLost();
        throw;
    }
}

KitInfo Kit::Info() {
    return Action([&] {
        KitInfo info;
        if (!board_.GetBoardInfo(info.board) || !board_.GetFirmwareVersion(info.firmware) ||
            !board_.GetFirmwareCode(info.code)) {
            ReportLostBoard(prompts_, board_.Link());
        }
        return info;
    });
}

uint16_t Kit::Read(int address, int bits, int device) {
    CheckAddress(address);
    CheckBits(bits);
    CheckDevice(device);
    return Action([&]() -> uint16_t {
        CZLINKControl page(*this);
        page.readAddress = FormatText("%02X", address);
        page.readWidth = bits == 8 ? RegWidth::Bits8 : RegWidth::Bits16;
        ChooseDevice(page, device);
        if (page.Read() != PageResult::Ok) return 0;
        return static_cast<uint16_t>(HexTextToNumber(page.readData));
    });
}

void Kit::Write(int address, int64_t value, int bits, int device) {
    CheckAddress(address);
    CheckBits(bits);
    CheckDevice(device);
    const int64_t max = bits == 8 ? 0xFF : 0xFFFF;
    if (value < 0 || value > max) {
        throw std::invalid_argument(FormatText("a %d-bit value must be 0 to 0x%llX, not %lld", bits,
                                               static_cast<long long>(max), static_cast<long long>(value)));
    }
    Action([&] {
        CZLINKControl page(*this);
        page.writeAddress = FormatText("%02X", address);
        page.writeData = FormatText(bits == 8 ? "%02X" : "%04X", static_cast<unsigned>(value));
        page.writeWidth = bits == 8 ? RegWidth::Bits8 : RegWidth::Bits16;
        ChooseDevice(page, device);
        (void)page.Write();
    });
}

void Kit::Reset(int device) {
    CheckDevice(device);
    Action([&] {
        CZLINKControl page(*this);
        ChooseDevice(page, device);
        if (page.GenReset() == PageResult::Failed) throw BoardRefusedError(LastErrorText());
    });
}

std::vector<TraceRecord> Kit::ReadTraceRecords(uint64_t start, uint64_t wanted) {
    std::vector<TraceRecord> records;
    std::vector<TraceRecord> block(CMTrace::kBlock);
    // Block by block, as the trace window reads it, until the board has no more.
    for (uint64_t at = start; records.size() < wanted;) {
        const auto ask = static_cast<uint16_t>(std::min<uint64_t>(CMTrace::kBlock, wanted - records.size()));
        uint32_t got = 0;
        if (!board_.ReadTrace(static_cast<uint32_t>(at), ask, block.data(), got)) {
            ReportLostBoard(prompts_, board_.Link());
            return records;
        }
        records.insert(records.end(), block.begin(), block.begin() + std::min<uint32_t>(got, ask));
        if (got < ask) break;
        at += got;
    }
    return records;
}

std::vector<TraceRecord> Kit::Trace(int64_t start, std::optional<int64_t> count) {
    if (start < 0 || start >= CMTrace::kEntries) {
        throw std::invalid_argument(FormatText(kFmtTraceAddressRange, CMTrace::kEntries));
    }
    if (count && *count < 0) throw std::invalid_argument("count must not be negative");
    const uint64_t wanted = std::min<uint64_t>(count ? static_cast<uint64_t>(*count) : CMTrace::kEntries,
                                               CMTrace::kEntries - static_cast<uint64_t>(start));
    return Action([&] { return ReadTraceRecords(static_cast<uint64_t>(start), wanted); });
}

void Kit::SaveTrace(const std::string& path, const std::string& format) {
    const std::string f = Lower(format);
    TraceFileFormat fileFormat = TraceFileFormat::Text;
    if (f == "csv") {
        fileFormat = TraceFileFormat::Csv;
    } else if (f == "vcd") {
        fileFormat = TraceFileFormat::Vcd;
    } else if (f == "vcd-bits") {
        fileFormat = TraceFileFormat::VcdBits;
    } else if (f != "text") {
        throw std::invalid_argument(
            "trace format must be \"text\", \"csv\", \"vcd\" or \"vcd-bits\", not \"" + format + "\"");
    }
    Action([&] {
        // The trace window's own save and export: a destination that cannot be written is
        // refused before anything is read, and an older file stays until the whole trace is in.
        CMTrace trace(*this);
        if (trace.ExportTo(path, fileFormat) == PageResult::Failed) {
            throw FileAccessError(LastErrorText(), path, FileErrorCode(path, true));
        }
    });
}

std::vector<TableRow> Kit::RunTable(const std::string& path, const std::string& mode, int device) {
    const std::string m = Lower(mode);
    if (m != "both" && m != "read" && m != "write") {
        throw std::invalid_argument("mode must be \"both\", \"read\" or \"write\", not \"" + mode + "\"");
    }
    CheckDevice(device);
    return Action([&] {
        CZLINKControlExt1 page(*this);
        ChooseDevice(page, device);
        std::vector<TableRow> rows(CRegisterTablePage::kRows);
        if (!page.LoadConfigFile(path)) {
            const std::string text = LastErrorText();
            if (text == kMsgUnableToReadConfig) throw FileFormatError(text);
            throw FileAccessError(text, path, FileErrorCode(path, false));
        }
        page.onRowAccessed = [&](int row, const RegisterRow&) {
            rows[static_cast<size_t>(row - 1)].accessed = true;
        };
        const AllRowsRun run = m == "write"  ? AllRowsRun::Write
                               : m == "read" ? AllRowsRun::Read
                                             : AllRowsRun::Both;
        if (page.RunAll(run) == PageResult::Invalid) {
            throw FileFormatError(LastErrorText(),
                                  page.focus ? std::optional<int>(page.focus->row) : std::nullopt);
        }
        for (int r = 1; r <= CRegisterTablePage::kRows; ++r) {
            rows[static_cast<size_t>(r - 1)].number = r;
            rows[static_cast<size_t>(r - 1)].row = page.Row(r);
        }
        return rows;
    });
}

KernletReport Kit::LoadKernlet(const std::string& path, int device,
                               const std::function<void(int, int)>* progress) {
    CheckDevice(device);
    if (path.empty()) throw std::invalid_argument(kMsgSelectKernlet);
    return Action([&] {
        KernletReport report;
        // The board's Kernlet options choose the verification, as at connection.
        BoardInfo info;
        if (!board_.GetBoardInfo(info)) {
            ReportLostBoard(prompts_, board_.Link());
            return report;
        }
        kernletOptions_ = info.kernletOptions;
        CKernlet page(*this);
        IgnoreChecksums checksums;
        page.SetChecksumsPrompt(&checksums);
        progressSink_.report = progress;
        struct Forget {
            ProgressToCallback& sink;
            ~Forget() { sink.report = nullptr; }
        } forget{progressSink_};
        page.kernletPath = path;
        ChooseDevice(page, device);
        switch (page.OnLoad()) {
            case KernletResult::Ok:
            case KernletResult::Cancelled: break;
            case KernletResult::LostBoard: return report;
            case KernletResult::Invalid: {
                const std::string text = LastErrorText();
                if (text == kMsgCannotOpenFile) throw FileAccessError(text, path, FileErrorCode(path, false));
                throw FileFormatError(text);
            }
            case KernletResult::Refused:
            case KernletResult::Failed: throw BoardRefusedError(LastErrorText());
        }
        report.productId = page.ProductId();
        report.version = page.KernletVersion();
        report.checksumsMatch = !page.ChecksumsDiffered();
        report.blocks = page.Blocks();
        return report;
    });
}

ScriptReport Kit::RunScript(const std::string& path, const ScriptHooks& hooks) {
    return Action([&] {
        script::RunLoopOptions options;
        options.listingDirectory = hooks.listingDirectory;
        options.interrupted = hooks.interrupted;
        options.deadline = hooks.deadline;
        options.onLine = hooks.onLine;
        const script::RunLoopResult r = script::RunScriptToEnd(*this, path, *hooks.answerer, options);
        ScriptReport report;
        report.lines = r.lines;
        if (r.boardLost) {
            // A worker that went without a word has lost the board as well.
            if (!prompts_.QuitRequested()) ReportLostBoard(prompts_, board_.Link());
            return report;
        }
        switch (r.outcome) {
            case script::RunOutcome::Finished: report.status = "finished"; break;
            case script::RunOutcome::Aborted:
                report.status = r.stop == script::RunStop::Expired ? "timeout" : "aborted";
                break;
            case script::RunOutcome::RunTimeError: report.status = "error"; break;
            case script::RunOutcome::FileError: report.status = "file_error"; break;
            case script::RunOutcome::QueueFull: report.status = "queue_full"; break;
            case script::RunOutcome::CompileFailed:
                if (r.lines.empty()) {
                    throw FileAccessError(std::string(script::kMsgUnableToOpenFile), path,
                                          FileErrorCode(path, false));
                }
                report.status = "compile_failed";
                break;
            case script::RunOutcome::LostBoard:
            case script::RunOutcome::None: report.status = "aborted"; break;
        }
        return report;
    });
}

// ---- Without a kit ----

CompileReport Compile(const std::string& path, const std::string& listingDirectory) {
    const script::CompiledScript compiled = script::CompileScriptFile(path, listingDirectory);
    if (!compiled.readable) {
        throw FileAccessError(std::string(script::kMsgUnableToOpenFile), path, FileErrorCode(path, false));
    }
    CompileReport report;
    for (const std::string& e : compiled.errors)
        report.errors.emplace_back(script::CResultsList::DisplayText(e));
    report.frames = compiled.frames;
    std::error_code ec;
    const std::filesystem::path folder = listingDirectory.empty() ? std::filesystem::current_path(ec)
                                                                  : std::filesystem::path(listingDirectory);
    report.listingPath = std::filesystem::absolute(folder / script::kListingFileName, ec).string();
    return report;
}

std::vector<RegisterRow> LoadTable(const std::string& path) {
    std::error_code ec;
    std::ifstream in(path, std::ios::binary);
    if (!in || std::filesystem::is_directory(path, ec)) {
        throw FileAccessError(kMsgUnableToOpenConfig, path, FileErrorCode(path, false));
    }
    RegisterRows rows{};
    const RegisterConfigRead read = ReadRegisterConfig(in, rows);
    if (read.readError) throw FileAccessError(kMsgUnableToOpenConfig, path, EIO);
    if (read.records < CRegisterTablePage::kRows) throw FileFormatError(kMsgUnableToReadConfig);
    return {rows.begin(), rows.end()};
}

void SaveTable(const std::string& path, const std::vector<RegisterRow>& rows) {
    if (rows.size() > static_cast<size_t>(CRegisterTablePage::kRows)) {
        throw std::invalid_argument("a register table has 40 rows, not " + std::to_string(rows.size()));
    }
    RegisterRows table{};
    std::copy(rows.begin(), rows.end(), table.begin());
    if (!WriteFileReplacing(path, FormatRegisterConfig(table))) {
        throw FileAccessError(kMsgUnableToSaveConfig, path, FileErrorCode(path, true));
    }
}

int ParityCode(const std::string& name) {
    const std::string n = Lower(name);
    if (n == "even") return ParityEven;
    if (n == "mark") return ParityMark;
    if (n == "none") return ParityNone;
    if (n == "odd") return ParityOdd;
    if (n == "space") return ParitySpace;
    throw std::invalid_argument("parity must be \"none\", \"even\", \"odd\", \"mark\" or \"space\", not \"" +
                                name + "\"");
}

int FlowControlCode(const std::string& name) {
    const std::string n = Lower(name);
    if (n == "none") return FlowNone;
    if (n == "cts/rts" || n == "rts/cts") return FlowCtsRts;
    if (n == "cts/dtr") return FlowCtsDtr;
    if (n == "dsr/rts") return FlowDsrRts;
    if (n == "dsr/dtr" || n == "dtr/dsr") return FlowDsrDtr;
    if (n == "xon/xoff") return FlowXonXoff;
    throw std::invalid_argument(
        "flow control must be \"none\", \"rts/cts\", \"cts/dtr\", \"dsr/rts\", \"dtr/dsr\" or "
        "\"xon/xoff\", not \"" +
        name + "\"");
}

}  // namespace kit
