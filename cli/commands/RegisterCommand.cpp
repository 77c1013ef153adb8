#include "cli/commands/RegisterCommand.h"

#include "cli/commands/ExitFor.h"
#include "registers/ZLINKControl.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <ostream>

namespace {

// A register text from the command line in upper case, as a field turns it when typed, but
// whole: the length is checked, never cut.
std::string TypedText(const std::string& typed) { return EntryText(typed, typed.size()); }

// The page's checks and messages, with the field lengths a shell does not enforce.
bool TypedTextsValid(PageHost& host, const std::string& address, const std::string* data, RegWidth width) {
    const std::string error = ValidateTypedRegisterTexts(address, data, width);
    if (error.empty()) return true;
    ShowError(host.Prompts(), error);
    return false;
}

void ChooseDevice(CZLINKControl& page, int device) {
    page.device1 = device == 1;
    page.device2 = device == 2;
}

struct Typed {
    std::string address, data;
    bool bits8 = false;
};

}  // namespace

int RunReadCommand(PageHost& host, const std::string& address, bool bits8, int device, std::ostream& out) {
    CZLINKControl page(host);
    page.readAddress = TypedText(address);
    page.readWidth = bits8 ? RegWidth::Bits8 : RegWidth::Bits16;
    if (!TypedTextsValid(host, page.readAddress, nullptr, page.readWidth)) return kCliInvalid;
    ChooseDevice(page, device);
    const PageResult r = page.Read();
    if (r == PageResult::Ok) out << page.readData << '\n';
    return ExitFor(r);
}

int RunWriteCommand(PageHost& host, const std::string& address, const std::string& data, bool bits8,
                    int device) {
    CZLINKControl page(host);
    page.writeAddress = TypedText(address);
    page.writeData = TypedText(data);
    page.writeWidth = bits8 ? RegWidth::Bits8 : RegWidth::Bits16;
    if (!TypedTextsValid(host, page.writeAddress, &page.writeData, page.writeWidth)) return kCliInvalid;
    ChooseDevice(page, device);
    return ExitFor(page.Write());
}

int RunResetCommand(PageHost& host, int device) {
    CZLINKControl page(host);
    ChooseDevice(page, device);
    return ExitFor(page.GenReset());
}

void AddRegisterCommands(CLI::App& app, CommandLine& line) {
    auto readArgs = std::make_shared<Typed>();
    auto* read = app.add_subcommand("read", "Read a register and print its value in hex");
    read->add_option("ADDR", readArgs->address, "Register address, hex")->required();
    read->add_flag("--8bit", readArgs->bits8, "8-bit access (default 16-bit)");
    read->callback([&line, readArgs] {
        line.onBoard = [&line, readArgs](CliSession& s) {
            return RunReadCommand(s, readArgs->address, readArgs->bits8, line.options.device, line.out);
        };
    });

    auto writeArgs = std::make_shared<Typed>();
    auto* write = app.add_subcommand("write", "Write a register");
    write->add_option("ADDR", writeArgs->address, "Register address, hex")->required();
    write->add_option("DATA", writeArgs->data, "Value, hex")->required();
    write->add_flag("--8bit", writeArgs->bits8, "8-bit access (default 16-bit)");
    write->callback([&line, writeArgs] {
        line.onBoard = [&line, writeArgs](CliSession& s) {
            return RunWriteCommand(s, writeArgs->address, writeArgs->data, writeArgs->bits8,
                                   line.options.device);
        };
    });

    auto* reset = app.add_subcommand("reset", "General reset of the target device");
    reset->callback([&line] {
        line.onBoard = [&line](CliSession& s) { return RunResetCommand(s, line.options.device); };
    });
}
