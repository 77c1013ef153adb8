#include "cli/commands/TraceCommand.h"

#include "cli/commands/ExitFor.h"
#include "registers/HexText.h"
#include "registers/RegisterTable.h"
#include "registers/Trace.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <ostream>

int RunTraceCommand(PageHost& host, const std::string& start, const std::string& savePath,
                    std::ostream& out) {
    TraceCommandOptions options;
    options.start = start;
    options.savePath = savePath;
    return RunTraceCommand(host, options, out);
}

int RunTraceCommand(PageHost& host, const TraceCommandOptions& options, std::ostream& out) {
    const std::string& start = options.start;
    CMTrace trace(host);
    if (!options.savePath.empty()) {
        // The files are read as the table pages open them, with their messages.
        TraceRegisterNames names;
        for (const std::string& file : options.nameFiles) {
            CZLINKControlExt1 table(host);
            table.device1 = options.device == 1;
            table.device2 = options.device == 2;
            if (!table.LoadConfigFile(file)) return kCliInvalid;
            AddRegisterNames(table, names);
        }
        trace.SetRegisterNames(std::move(names));
        return ExitFor(trace.ExportTo(options.savePath, options.format));
    }

    // As the entry field takes typed text: upper case; an empty entry counts as 0.
    trace.startAddress = EntryText(start, start.size());
    if (trace.startAddress.empty()) trace.startAddress.assign(1, '0');
    const PageResult r = trace.Read();
    if (r != PageResult::Ok) return ExitFor(r);
    for (size_t i = 0; i < kTraceColumns.size(); ++i) out << (i ? "\t" : "") << kTraceColumns[i].title;
    out << '\n';
    for (const TraceRow& row : trace.Rows()) {
        std::string line;
        for (size_t i = 0; i < row.size(); ++i) {
            if (i) line += '\t';
            line += row[i];
        }
        while (!line.empty() && line.back() == '\t') line.pop_back();
        out << line << '\n';
    }
    return kCliOk;
}

void AddTraceCommand(CLI::App& app, CommandLine& line) {
    struct Args {
        TraceCommandOptions options;
        std::string format = "text";
    };
    auto args = std::make_shared<Args>();
    auto* trace = app.add_subcommand("trace", "Read the board's trace of bus accesses");
    trace->add_option("--start", args->options.start, "First trace address to list, hex (default 00000)");
    auto* save = trace->add_option("--save", args->options.savePath,
                                   "Save the whole trace to FILE as the trace window does");
    trace
        ->add_option("--format", args->format,
                     "File format of --save: text (the trace file, default), csv, vcd, or vcd-bits "
                     "(VCD of 1-bit signals, for PulseView 0.4)")
        ->check(CLI::IsMember({"text", "csv", "vcd", "vcd-bits"}))
        ->option_text("text|csv|vcd|vcd-bits")
        ->needs(save);
    trace
        ->add_option("--names", args->options.nameFiles,
                     "Register configuration file whose descriptions name registers of --device (csv, vcd)")
        ->option_text("CONFIG")
        ->needs(save);
    trace->callback([&line, args] {
        line.onBoard = [&line, args](CliSession& s) {
            TraceCommandOptions& options = args->options;
            options.device = static_cast<uint8_t>(line.options.device);
            options.format = args->format == "csv"        ? TraceFileFormat::Csv
                             : args->format == "vcd"      ? TraceFileFormat::Vcd
                             : args->format == "vcd-bits" ? TraceFileFormat::VcdBits
                                                          : TraceFileFormat::Text;
            return RunTraceCommand(s, options, line.out);
        };
    });
}
