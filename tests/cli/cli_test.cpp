// tr805q-cli against the simulated board in the same process (--simulate).
#include "cli/Cli.h"

#include "app/AboutBox.h"
#include "cli/CliSession.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct CliRun {
    int code;
    std::string out, err;
};

CliRun RunCliWith(std::vector<const char*> args) {
    args.insert(args.begin(), {"tr805q-cli", "--simulate"});
    std::ostringstream out, err;
    const int code = RunCli(static_cast<int>(args.size()), args.data(), ComSettings{}, out, err);
    return {code, out.str(), err.str()};
}

struct ValidationCase {
    std::vector<const char*> args;
    std::string message;
};

TEST(CliRegisterCommands, ValidationMessagesAndExitCodes) {
    const std::vector<ValidationCase> cases = {
        {{"write", "", "12"}, "Error - A null register address is not valid\n"},
        {{"write", "", ""}, "Error - A null register address is not valid\n"},
        {{"write", "X1", "12"}, "Error - Register address must be hexadecimal\n"},
        {{"write", "20", ""}, "Error - Null register data is not valid\n"},
        {{"write", "20", "12G"}, "Error - Register data must be hexadecimal\n"},
        {{"read", ""}, "Error - A null register address is not valid\n"},
        {{"read", "-1"}, "Error - Register address must be hexadecimal\n"},
    };
    for (const auto& c : cases) {
        CliRun r = RunCliWith(c.args);
        EXPECT_EQ(r.code, kCliInvalid) << c.message;
        EXPECT_EQ(r.err, c.message);
        EXPECT_EQ(r.out, "");
    }
}

// A typed text is taken as the page's fields take it, never cut short: a text the field would
// not hold is refused before anything reaches the board.
struct TypedTextCase {
    std::vector<const char*> args;
    int code;
    std::string err;
    std::vector<std::string> requests;  // as the simulated board logs them
};

TEST(CliRegisterCommands, TypedTextsAreTakenAsTheFieldsTakeThemOrRefused) {
    const std::string kAddressTooLong = "Error - Register address has at most 2 hexadecimal digits\n";
    const std::string kData16TooLong = "Error - Register data has at most 4 hexadecimal digits\n";
    const std::string kData8TooLong = "Error - Register data has at most 2 hexadecimal digits\n";
    const std::vector<TypedTextCase> cases = {
        {{"write", "123", "45678"}, kCliInvalid, kAddressTooLong, {}},
        {{"write", "123", "12"}, kCliInvalid, kAddressTooLong, {}},
        {{"write", "0020", "12"}, kCliInvalid, kAddressTooLong, {}},
        {{"write", "20", "45678"}, kCliInvalid, kData16TooLong, {}},
        {{"write", "20", "00001"}, kCliInvalid, kData16TooLong, {}},
        {{"write", "20", "123", "--8bit"}, kCliInvalid, kData8TooLong, {}},
        {{"write", "20", "0012", "--8bit"}, kCliInvalid, kData8TooLong, {}},
        {{"read", "123"}, kCliInvalid, kAddressTooLong, {}},
        {{"read", "100", "--8bit"}, kCliInvalid, kAddressTooLong, {}},
        // The page's order: address before data, empty before hex before length.
        {{"write", "123", ""}, kCliInvalid, kAddressTooLong, {}},
        {{"write", "123", "XYZ"}, kCliInvalid, kAddressTooLong, {}},
        {{"write", "X123", "12"}, kCliInvalid, "Error - Register address must be hexadecimal\n", {}},
        {{"write", "20", "1234G"}, kCliInvalid, "Error - Register data must be hexadecimal\n", {}},
        {{"write", "20", "12 34"}, kCliInvalid, "Error - Register data must be hexadecimal\n", {}},
        // What the fields hold goes out as typed, letters in upper case.
        {{"write", "2a", "00ab"}, kCliOk, "", {"7E 03 2A 00 AB 01"}},
        {{"write", "5", "7"}, kCliOk, "", {"7E 03 05 00 07 01"}},
        {{"write", "ff", "ffff"}, kCliOk, "", {"7E 03 FF FF FF 01"}},
        {{"write", "2a", "ab", "--8bit"}, kCliOk, "", {"7E 02 2A AB 01"}},
        {{"--device", "2", "write", "10", "1234"}, kCliOk, "", {"7E 03 10 12 34 02"}},
        {{"read", "2a"}, kCliOk, "", {"7E 05 2A 01"}},
        {{"read", "Ff", "--8bit"}, kCliOk, "", {"7E 04 FF 01"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> requests;
        SimulatedBoardSetup setup;
        setup.requestLog = &requests;
        std::vector<const char*> args = c.args;
        args.insert(args.begin(), {"tr805q-cli", "--simulate"});
        std::ostringstream out, err;
        const int code = RunCli(static_cast<int>(args.size()), args.data(), ComSettings{}, out, err, setup);
        const std::string row = c.args[0] + std::string(" ") + c.args[1];
        EXPECT_EQ(code, c.code) << row;
        EXPECT_EQ(err.str(), c.err) << row;
        EXPECT_EQ(requests, c.requests) << row;
        if (c.code != kCliOk) {
            EXPECT_EQ(out.str(), "") << row;
        }
    }
}

// tr805q-cli info and the About box show the same lines, sizes as unsigned 32-bit numbers.
TEST(CliRegisterCommands, InfoGivesTheAboutBoxLines) {
    SimulatedBoardSetup setup;
    setup.config.commandBufferSize = 0xFFFF;
    setup.config.dataBufferSize = 0xFFFFFFFF;
    setup.config.fileBufferSize = 0x80000001;
    setup.config.firmwareCode = 0x805;
    const char* args[] = {"tr805q-cli", "--simulate", "info"};
    std::ostringstream out, err;
    ASSERT_EQ(RunCli(3, args, ComSettings{}, out, err, setup), kCliOk) << err.str();
    EXPECT_EQ(out.str(),
              "GQ0017 Version 2.4\n"
              "Command Buffer Size: 65535 commands\n"
              "Data Buffer Size: 4294967295 words\n"
              "File Buffer Size: 2147483649 words\n"
              "Firmware Version 1.0\n"
              "Code: 0805\n");

    BoardInfo info;
    info.versionMajor = setup.config.versionMajor;
    info.versionMinor = setup.config.versionMinor;
    info.commandBufferSize = setup.config.commandBufferSize;
    info.dataBufferSize = setup.config.dataBufferSize;
    info.fileBufferSize = setup.config.fileBufferSize;
    FirmwareVersion version;
    version.versionMajor = setup.config.firmwareMajor;
    version.versionMinor = setup.config.firmwareMinor;
    CAboutBox box(info, version, setup.config.firmwareCode);
    box.OnInitDialog();
    std::string lines;
    for (int t = CAboutBox::BoardVersion; t <= CAboutBox::Code; ++t) lines += box.texts[t] + '\n';
    EXPECT_EQ(lines, out.str());
}

// Lower case is accepted here, as the page's fields turn letters to upper case when typed.
TEST(CliRegisterCommands, ReadShowsValuesAsThePageDoes) {
    EXPECT_EQ(RunCliWith({"write", "2a", "00ab"}).code, kCliOk);
    CliRun r16 = RunCliWith({"read", "2a"});
    // Each run starts a fresh simulated board: only the shape of the value is known here.
    EXPECT_EQ(r16.code, kCliOk) << r16.err;
    EXPECT_EQ(r16.out.size(), 5u);
    CliRun r8 = RunCliWith({"read", "2a", "--8bit"});
    EXPECT_EQ(r8.code, kCliOk);
    EXPECT_EQ(r8.out.size(), 3u);
}

TEST(CliRegisterCommands, InfoPrintsTheBoardLines) {
    CliRun r = RunCliWith({"info"});
    ASSERT_EQ(r.code, kCliOk) << r.err;
    std::istringstream lines(r.out);
    std::vector<std::string> prefixes = {"GQ0017 Version ",    "Command Buffer Size: ", "Data Buffer Size: ",
                                         "File Buffer Size: ", "Firmware Version ",     "Code: "};
    std::string line;
    for (const auto& p : prefixes) {
        ASSERT_TRUE(std::getline(lines, line));
        EXPECT_EQ(line.rfind(p, 0), 0u) << line;
    }
    EXPECT_FALSE(std::getline(lines, line));
}

TEST(CliRegisterCommands, ResetAndUsageErrors) {
    EXPECT_EQ(RunCliWith({"reset"}).code, kCliOk);
    EXPECT_NE(RunCliWith({"--device", "4", "reset"}).code, kCliOk);
    EXPECT_NE(RunCliWith({"frobnicate"}).code, kCliOk);
}

}  // namespace

namespace {

TEST(CliTableCommand, RunsTheEnabledRowsOfAConfigurationFile) {
    const TempFolder folder("cli-table");
    const std::string path = folder.File("cli-table.txt");
    {
        std::ofstream f(path, std::ios::binary);
        for (int r = 1; r <= 40; ++r) {
            char header[24];
            std::snprintf(header, sizeof header, "Register:%03d\r\n", r);
            f << header;
            if (r == 2)
                f << "first\r\n20\r\n02\r\n1234\r\n1\r\n";  // 16 bit Wr
            else if (r == 21)
                f << "back\r\n20\r\n01\r\n\r\n1\r\n";  // 16 bit Rd
            else if (r == 30)
                f << "off\r\n21\r\n04\r\n55\r\n0\r\n";  // not enabled
            else
                f << "\r\n\r\n00\r\n\r\n0\r\n";
        }
    }
    CliRun both = RunCliWith({"table", path.c_str()});
    EXPECT_EQ(both.code, kCliOk) << both.err;
    EXPECT_EQ(both.out, "2\t16 bit Wr\t20\t1234\n21\t16 bit Rd\t20\t1234\n");
    CliRun read = RunCliWith({"table", path.c_str(), "--read"});
    EXPECT_EQ(read.code, kCliOk) << read.err;
    EXPECT_EQ(read.out.rfind("21\t16 bit Rd\t20\t", 0), 0u);
    EXPECT_NE(RunCliWith({"table", path.c_str(), "--read", "--write"}).code, kCliOk);
    CliRun missing = RunCliWith({"table", "/nonexistent/x.txt"});
    EXPECT_EQ(missing.code, kCliInvalid);
    EXPECT_EQ(missing.err, "Error - Unable to open config file\n");
    // Opens, then every read fails (EIO), as a pulled USB stick does.
    CliRun unreadable = RunCliWith({"table", "/proc/self/mem"});
    EXPECT_EQ(unreadable.code, kCliInvalid);
    EXPECT_EQ(unreadable.err, "Error - Unable to open config file\n");
}

}  // namespace

namespace {

// The commands of the other pages reach their code through the same command line.
TEST(CliOtherCommands, CompileAndKernletAreWired) {
    CliRun missing = RunCliWith({"compile", "/nonexistent/x.mbs"});
    EXPECT_EQ(missing.code, kCliInvalid);
    EXPECT_EQ(missing.err, "Error - Unable to open file\n");

    const std::string script = std::string(TR805Q_TEST_DATA_DIR) + "/compile/odd_even.mbs";
    const std::string cwd = std::filesystem::current_path();
    const TempFolder folder("cli-compile");
    std::filesystem::current_path(folder.Path());  // the listing goes beside the caller
    CliRun image = RunCliWith({"compile", script.c_str(), "--image"});
    std::filesystem::current_path(cwd);
    EXPECT_EQ(image.code, kCliOk) << image.err;
    EXPECT_EQ(image.out.rfind("7E 08 ", 0), 0u);

    CliRun inspect = RunCliWith({"kernlet", "--inspect", "/nonexistent/k.txt"});
    EXPECT_EQ(inspect.code, kCliInvalid);
    CliRun load = RunCliWith({"kernlet", "/nonexistent/k.txt"});
    EXPECT_EQ(load.code, kCliInvalid);
}

}  // namespace

namespace {

// trace --save with its formats, reaching the trace window's save and export.
TEST(CliTraceCommand, FormatsOfTheSave) {
    const TempFolder folder("cli-trace");
    const std::string dir = folder.Path().string();
    const auto read = [](const std::string& path) {
        std::ifstream f(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), {});
    };
    struct Case {
        std::vector<const char*> format;
        const char* file;
        const char* begins;
    };
    const Case cases[] = {
        {{}, "cli-trace.txt", "Note: Ordered from last Z-LINK access to first Z-LINK access\r\n"},
        {{"--format", "text"}, "cli-trace2.txt", "Note: Ordered"},
        {{"--format", "csv"}, "cli-trace.csv", "index,device,direction,register,data,"},
        {{"--format", "vcd"}, "cli-trace.vcd", "$date "},
        {{"--format", "vcd-bits"}, "cli-trace-bits.vcd", "$date "},
    };
    for (const Case& c : cases) {
        const std::string path = dir + "/" + c.file;
        std::vector<const char*> args{"trace", "--save", path.c_str()};
        args.insert(args.end(), c.format.begin(), c.format.end());
        const CliRun r = RunCliWith(args);
        EXPECT_EQ(r.code, kCliOk) << c.file << r.err;
        EXPECT_EQ(read(path).rfind(c.begins, 0), 0u) << c.file;
    }
    // A format needs a file, and is one of the four.
    EXPECT_NE(RunCliWith({"trace", "--format", "csv"}).code, kCliOk);
    const std::string path = dir + "/cli-trace.xml";
    EXPECT_NE(RunCliWith({"trace", "--save", path.c_str(), "--format", "xml"}).code, kCliOk);
    EXPECT_FALSE(std::filesystem::exists(path));
    // A names file that cannot be opened is refused with the table page's message.
    const CliRun names =
        RunCliWith({"trace", "--save", path.c_str(), "--format", "csv", "--names", "/nonexistent/t.txt"});
    EXPECT_EQ(names.code, kCliInvalid);
    EXPECT_EQ(names.err, "Error - Unable to open config file\n");
}

}  // namespace
