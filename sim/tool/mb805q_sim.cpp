// mb805q-sim: a simulated MB805Q board with its target devices, served on a pseudo-terminal
// that is registered as a COM port. Serves until SIGINT or SIGTERM.
#include "core/Version.h"
#include "link/PortTable.h"
#include "sim/Board.h"
#include "sim/FirmwareImage.h"
#include "sim/KernletDevice.h"
#include "sim/port/PtyServer.h"

#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

// A number as the options take it: decimal, or hexadecimal after "0x".
std::optional<uint64_t> ParseNumber(const std::string& text, uint64_t max) {
    if (text.empty()) return std::nullopt;
    int base = 10;
    size_t i = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        i = 2;
    }
    uint64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        if (value > max) return std::nullopt;
    }
    return value;
}

// "K.M.m": three numbers of 0..255.
std::optional<sim::FirmwareIdentity> ParseVersion(const std::string& text) {
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == '.')
            parts.emplace_back();
        else
            parts.back() += c;
    }
    if (parts.size() != 3) return std::nullopt;
    sim::FirmwareIdentity id;
    uint8_t* fields[3] = {&id.kind, &id.major, &id.minor};
    for (size_t i = 0; i < 3; ++i) {
        const auto v = ParseNumber(parts[i], 255);
        if (!v) return std::nullopt;
        *fields[i] = static_cast<uint8_t>(*v);
    }
    return id;
}

std::string NumberCheck(const std::string& text, uint64_t max) {
    return ParseNumber(text, max)
               ? std::string()
               : "expects a number from 0 to " + std::to_string(max) + " (decimal, or hexadecimal after 0x)";
}

// Faster than any serial line a kit has; the pacing arithmetic holds far beyond it.
constexpr uint32_t kMaxLineRate = 100'000'000;

std::string FillTraceCheck(const std::string& text) {
    const auto n = ParseNumber(text, UINT64_MAX);
    if (!n) return "expects a number of trace entries (decimal, or hexadecimal after 0x)";
    if (*n > sim::Board::kTraceEntries) {
        return "the trace memory holds at most " + std::to_string(sim::Board::kTraceEntries) +
               " (0x20000) entries";
    }
    return {};
}

std::string VersionCheck(const std::string& text) {
    return ParseVersion(text) ? std::string() : "expects K.M.m, three numbers of 0 to 255";
}

// What the command line asks for, by option group.
struct SimOptions {
    // Serving.
    std::string logPath, portsDir;
    bool printPort = false;
    uint32_t lineRate = 0;
    std::string fillTrace;
    // Faults and identity.
    sim::Faults faults;
    std::string firmwareVersion, firmwareCode, kernletOptions;
    int scriptStatus = 0;
    // Firmware files.
    std::string makeFirmware;
    std::string firmwareDir = ".";
    size_t firmwareSize = 4096;
    // Kernlet files.
    std::string makeKernlet;
    sim::KernletSampleSpec kernletSpec;
    unsigned corruptBlock = 0;
};

void AddServingOptions(CLI::App& app, SimOptions& o) {
    app.add_option("--log", o.logPath, "Write every request received to FILE, one line each, as hex bytes")
        ->type_name("FILE");
    app.add_flag("--print-port", o.printPort,
                 "Print only the COM port number on the first line of standard output");
    app.add_option("--ports-dir", o.portsDir, "Port table folder (default: the user's table)")
        ->type_name("DIR");
    app.add_option(
           "--line-rate", o.lineRate,
           "Move every byte at the wire time of a serial line of BAUD (10 bits a byte), as on the kit; "
           "0: at once (default)")
        ->check(CLI::Range(uint32_t{0}, kMaxLineRate).description(""))
        ->type_name("BAUD");
    app.add_option("--fill-trace", o.fillTrace,
                   "Start with N trace entries recorded (synthetic register accesses, the same every time)")
        ->check(FillTraceCheck)
        ->type_name("N");
}

void AddFaultOptions(CLI::App& app, sim::Faults& faults) {
    auto* faultGroup = app.add_option_group("Faults", "Faults the board shows on purpose");
    faultGroup->add_flag("--no-reply", faults.noReply, "Ignore every request: neither act nor answer");
    faultGroup->add_flag("--wrong-first-byte", faults.wrongFirstByte,
                         "Start replies with 0x7F instead of 0x7E");
    faultGroup->add_flag("--wrong-reply-code", faults.wrongReplyCode, "Send reply codes with bit 7 flipped");
    faultGroup
        ->add_option("--stale-bytes", faults.staleBytes,
                     "Send N late bytes after each request/reply exchange")
        ->check(CLI::Range(0, 1 << 20).description(""))
        ->type_name("N");
    faultGroup
        ->add_option("--refusals", faults.refusals,
                     "Answer N times 0x11 before each 0x12 of a paced transfer")
        ->check(CLI::Range(0, 1 << 20).description(""))
        ->type_name("N");
    faultGroup
        ->add_option("--refusal-chunk", faults.refusalChunk,
                     "Refuse only before chunk K (0-based) of a paced transfer")
        ->check(CLI::Range(0L, 1L << 30).description(""))
        ->type_name("K");
    faultGroup->add_option("--close-after", faults.closeAfterBytes, "Close the line after N received bytes")
        ->check(CLI::Range(0L, 1L << 62).description(""))
        ->type_name("N");
}

void AddIdentityOptions(CLI::App& app, SimOptions& o) {
    auto* identity = app.add_option_group("Identity", "What the board reports about itself");
    identity
        ->add_option("--firmware-version", o.firmwareVersion, "Firmware version K.M.m (kind, major, minor)")
        ->check(VersionCheck)
        ->type_name("K.M.m");
    identity->add_option("--firmware-code", o.firmwareCode, "Firmware code (32 bits, e.g. 0x805)")
        ->check([](const std::string& t) { return NumberCheck(t, 0xFFFFFFFFu); })
        ->type_name("CODE");
    identity
        ->add_option("--kernlet-options", o.kernletOptions, "Kernlet options mask of the board information")
        ->check([](const std::string& t) { return NumberCheck(t, 0xFF); })
        ->type_name("MASK");
    identity->add_option("--script-status", o.scriptStatus, "Script status flag the board reports (0 or 1)")
        ->check(CLI::Range(0, 1).description(""))
        ->type_name("0|1");
}

void AddFirmwareFileOptions(CLI::App& app, SimOptions& o) {
    auto* files = app.add_option_group("Firmware files", "Write a firmware file and exit");
    files
        ->add_option("--make-firmware", o.makeFirmware,
                     "Write the firmware file of version K.M.m (named as the program looks for it) and exit")
        ->check(VersionCheck)
        ->type_name("K.M.m");
    files
        ->add_option("--firmware-dir", o.firmwareDir, "Folder for --make-firmware (default: the current one)")
        ->type_name("DIR");
    files
        ->add_option("--firmware-size", o.firmwareSize,
                     "Size in bytes of the file --make-firmware writes (20 to 130559, default 4096)")
        ->check(CLI::Range(size_t{sim::kFirmwareHeaderSize}, size_t{130559}).description(""))
        ->type_name("BYTES");
}

void AddKernletFileOptions(CLI::App& app, SimOptions& o) {
    auto* kernletFiles = app.add_option_group("Kernlet files", "Write a sample Kernlet file and exit");
    kernletFiles
        ->add_option("--make-kernlet", o.makeKernlet,
                     "Write a sample Kernlet file that loads cleanly into the simulated devices, and exit")
        ->type_name("FILE");
    kernletFiles
        ->add_option("--kernlet-blocks", o.kernletSpec.blocks,
                     "Data blocks of --make-kernlet (0 to 254, default 2)")
        ->check(CLI::Range(0u, 254u).description(""))
        ->type_name("N");
    kernletFiles
        ->add_option("--kernlet-words", o.kernletSpec.wordsPerBlock,
                     "Words per block (1 to 65535, default 64)")
        ->check(CLI::Range(1u, 65535u).description(""))
        ->type_name("N");
    kernletFiles
        ->add_option("--kernlet-corrupt-block", o.corruptBlock,
                     "Damage block K (from 1) after its checksum was written, for the checksum warning")
        ->check(CLI::Range(1u, 254u).description(""))
        ->type_name("K");
}

int MakeKernletFile(const SimOptions& o) {
    sim::KernletSampleSpec spec = o.kernletSpec;
    if (o.corruptBlock != 0) spec.corruptBlock = o.corruptBlock - 1;
    std::string error;
    if (o.corruptBlock > spec.blocks) {
        error = "--kernlet-corrupt-block names a block the file does not have";
    } else if (sim::WriteKernletFile(o.makeKernlet, spec, &error)) {
        std::cout << o.makeKernlet << std::endl;
        return 0;
    }
    std::cerr << "mb805q-sim: " << error << '\n';
    return 1;
}

int MakeFirmwareFile(const SimOptions& o) {
    sim::FirmwareIdentity id = *ParseVersion(o.makeFirmware);
    if (!o.firmwareCode.empty()) id.code = static_cast<uint32_t>(*ParseNumber(o.firmwareCode, 0xFFFFFFFFu));
    std::string error;
    const auto path = sim::WriteFirmwareFile(o.firmwareDir, id, o.firmwareSize, &error);
    if (!path) {
        std::cerr << "mb805q-sim: " << error << '\n';
        return 1;
    }
    std::cout << path->string() << std::endl;
    return 0;
}

// The board as the identity options describe it, with its faults.
std::unique_ptr<sim::Board> MakeBoard(const SimOptions& o) {
    sim::BoardConfig config;
    if (!o.firmwareVersion.empty()) {
        const sim::FirmwareIdentity id = *ParseVersion(o.firmwareVersion);
        config.firmwareKind = id.kind;
        config.firmwareMajor = id.major;
        config.firmwareMinor = id.minor;
    }
    if (!o.firmwareCode.empty())
        config.firmwareCode = static_cast<uint32_t>(*ParseNumber(o.firmwareCode, 0xFFFFFFFFu));
    if (!o.kernletOptions.empty())
        config.kernletOptions = static_cast<uint8_t>(*ParseNumber(o.kernletOptions, 0xFF));
    if (!o.fillTrace.empty())
        config.fillTrace = static_cast<size_t>(*ParseNumber(o.fillTrace, sim::Board::kTraceEntries));

    auto board = std::make_unique<sim::Board>(config);
    board->faults() = o.faults;
    board->SetScriptStatus(static_cast<uint8_t>(o.scriptStatus));
    return board;
}

// Waits for SIGINT or SIGTERM, or for the line or the pseudo-terminal to end; the exit code.
int ServeUntilStopped(sim::PtyServer& server, const sigset_t& stopSignals, long closeAfterBytes) {
    const timespec tick{0, 100'000'000};
    for (;;) {
        siginfo_t info;
        if (sigtimedwait(&stopSignals, &info, &tick) >= 0) return 0;
        if (server.LineClosed()) {
            std::cerr << "mb805q-sim: line closed after " << closeAfterBytes << " bytes (--close-after)\n";
            return 0;
        }
        if (!server.Running()) {
            std::cerr << "mb805q-sim: the pseudo-terminal failed\n";
            return 1;
        }
    }
}

int Serve(const SimOptions& o) {
    auto board = MakeBoard(o);
    std::ofstream log;
    if (!o.logPath.empty()) {
        log.open(o.logPath, std::ios::out | std::ios::trunc);
        if (!log) {
            std::cerr << "mb805q-sim: cannot write the log file " << o.logPath << '\n';
            return 1;
        }
        // Each line is flushed at once, so that whoever watches the file sees it while we run.
        board->SetRequestLogger([&log](const std::string& line) { log << line << std::endl; });
    }

    // The serving thread must not take the stop signals: they are waited for below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    sim::PtyServer server(std::move(board));
    server.SetLineRate(o.lineRate);
    std::string error;
    const PortTable table = o.portsDir.empty() ? PortTable::ForCurrentUser() : PortTable(o.portsDir);
    if (!server.Start(table, &error)) {
        std::cerr << "mb805q-sim: " << error << '\n';
        return 1;
    }
    if (o.printPort) {
        std::cout << server.PortNumber() << std::endl;
    } else {
        std::cout << "MB805Q simulated board on COM" << server.PortNumber() << " (" << server.DevicePath()
                  << ")" << std::endl;
    }
    const int exitCode = ServeUntilStopped(server, stopSignals, o.faults.closeAfterBytes);
    server.Stop();
    return exitCode;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "A simulated MB805Q board with three target devices, served on a pseudo-terminal "
        "registered as a COM port. Serves until interrupted (SIGINT or SIGTERM)."};
    app.set_version_flag("--version", std::string("mb805q-sim ") + kVersionSuffix);
    SimOptions options;
    AddServingOptions(app, options);
    AddFaultOptions(app, options.faults);
    AddIdentityOptions(app, options);
    AddFirmwareFileOptions(app, options);
    AddKernletFileOptions(app, options);
    CLI11_PARSE(app, argc, argv);

    if (!options.makeKernlet.empty()) return MakeKernletFile(options);
    if (!options.makeFirmware.empty()) return MakeFirmwareFile(options);
    return Serve(options);
}
