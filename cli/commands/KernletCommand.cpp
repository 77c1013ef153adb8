#include "cli/commands/KernletCommand.h"

#include "cli/commands/ExitFor.h"
#include "core/TextFormat.h"
#include "link/Messages.h"
#include "loading/Kernlet.h"
#include "loading/KernletTexts.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <ostream>

namespace {

// The command's view of the host: the Kernlet options come from the board information read
// for this command, everything else from the host.
class CommandHost final : public PageHost {
public:
    CommandHost(PageHost& host, uint8_t kernletOptions) : host_(host), options_(kernletOptions) {}
    CMB805QBrd& Board() override { return host_.Board(); }
    UserPrompts& Prompts() override { return host_.Prompts(); }
    Clock& GetClock() override { return host_.GetClock(); }
    bool KernletLoaded(uint8_t device) const override { return host_.KernletLoaded(device); }
    void SetKernletLoaded(uint8_t device, bool loaded) override { host_.SetKernletLoaded(device, loaded); }
    uint8_t KernletOptions() const override { return options_; }
    ProgressSink& Progress() override { return host_.Progress(); }

private:
    PageHost& host_;
    uint8_t options_;
};

// The checksum warning as text; the answer is the command's option.
class PrintedChecksums final : public ChecksumsPrompt {
public:
    PrintedChecksums(std::ostream& err, bool ignore) : err_(err), ignore_(ignore) {}
    bool Ignore(const CChecksums& c) override {
        err_ << kChecksumsHeading << '\n' << c.Block1Text() << '\n' << c.Block2Text() << '\n';
        return ignore_;
    }

private:
    std::ostream& err_;
    bool ignore_;
};

std::string Hex4(unsigned v) { return FormatText("0x%04X", v & 0xFFFF); }

std::string Hex8(uint32_t v) { return FormatText("0x%08X", static_cast<unsigned>(v)); }

}  // namespace

int RunKernletCommand(PageHost& host, const std::string& file, const KernletCommandOptions& options,
                      std::ostream& out, std::ostream& err) {
    if (options.device < 1 || options.device > 3) {
        err << "The device must be 1, 2 or 3\n";
        return kCliInvalid;
    }
    BoardInfo info;
    if (!host.Board().GetBoardInfo(info)) return ExitFor(PageLostBoard(host));

    CommandHost commandHost(host, info.kernletOptions);
    CKernlet page(commandHost);
    PrintedChecksums checksums(err, options.ignoreChecksums);
    page.SetChecksumsPrompt(&checksums);
    page.kernletPath = file;
    page.device1 = options.device == 1;
    page.device2 = options.device == 2;

    const KernletResult result = page.OnLoad();
    switch (result) {
        case KernletResult::Ok: break;
        case KernletResult::LostBoard: return kCliLostBoard;
        case KernletResult::Cancelled: return kCliChecksums;
        case KernletResult::Invalid:
        case KernletResult::Refused:
        case KernletResult::Failed: return kCliInvalid;
    }
    out << "Kernlet loaded into Z-LINK device " << unsigned{options.device} << ": " << page.BlockCount()
        << (page.BlockCount() == 1 ? " block" : " blocks") << ", product ID " << Hex4(page.ProductId())
        << ", Kernlet version " << Hex4(page.KernletVersion())
        << (page.ChecksumsDiffered() ? ", checksums differ" : ", checksums match") << '\n';
    if (page.ChecksumsDiffered() && !options.ignoreChecksums) return kCliChecksums;
    return kCliOk;
}

int RunKernletInspect(const std::string& file, std::ostream& out, std::ostream& err) {
    const std::optional<KernletFileSummary> scan = ScanKernletFile(file);
    if (!scan) {
        err << kMsgCannotOpenFile << '\n';
        return kCliInvalid;
    }
    out << "Lines: " << scan->lines << '\n';
    if (!scan->haveCount) {
        out << "No \"#define N_DB\" line: nothing would be loaded\n";
        err << kMsgNoBlockCount << '\n';
        return kCliInvalid;
    }
    out << "Block count: " << scan->blockCount << '\n';
    out << "Block  Address  Words  Checksum    Chunks\n";
    size_t n = 0;
    for (const KernletFileSummary::Block& b : scan->blocks) {
        const std::string row = FormatText("%5zu  %s  %5u  %s  %6zu", ++n, Hex4(b.header.address).c_str(),
                                           static_cast<unsigned>(b.header.lengthWords),
                                           Hex8(b.header.Checksum()).c_str(), b.chunks);
        out << row << '\n';
    }
    if (scan->endsInBlock) {
        out << "Block " << scan->blocks.size()
            << " never completes: the file ends inside it, or its last line holds words beyond its length\n";
    }
    if (scan->finalAddress) {
        out << "Final address: " << Hex4(*scan->finalAddress) << '\n';
    } else {
        out << "Final address: none (no end record: the board would not report the load complete)\n";
    }
    if (scan->blocks.size() > CKernlet::kMaxBlocks) {
        out << "This file has " << scan->blocks.size() << " blocks; a load takes at most "
            << CKernlet::kMaxBlocks << '\n';
    }
    // What the load would refuse, in its words.
    if (const std::optional<std::string> problem = KernletFileProblem(*scan)) {
        err << *problem << '\n';
        return kCliInvalid;
    }
    return kCliOk;
}

void AddKernletCommand(CLI::App& app, CommandLine& line) {
    struct Args {
        std::string path;
        bool inspect = false;
        KernletCommandOptions options;
    };
    auto args = std::make_shared<Args>();
    auto* kernlet = app.add_subcommand("kernlet", "Load a Kernlet file into the target device and verify it");
    kernlet->add_option("FILE", args->path, "Kernlet image file")->required();
    kernlet->add_flag("--inspect", args->inspect, "List the file's blocks without a board");
    kernlet->add_flag("--ignore-checksums", args->options.ignoreChecksums,
                      "Report differing checksums but end with success");
    kernlet->callback([&line, args] {
        if (args->inspect) {
            line.offline = [&line, args] { return RunKernletInspect(args->path, line.out, line.err); };
            return;
        }
        line.onBoard = [&line, args](CliSession& s) {
            args->options.device = static_cast<uint8_t>(line.options.device);
            return RunKernletCommand(s, args->path, args->options, line.out, line.err);
        };
    });
}
