// The Python module `tr805q`: the kit from lab scripts. The operations are those of
// python/Kit.h; this file turns Python arguments into them, runs callbacks with the GIL, and
// turns failures into the module's exceptions. Board exchanges run with the GIL released, so
// other Python threads go on meanwhile.
#include "core/Version.h"
#include "link/BoardInfoText.h"
#include "link/PortTable.h"
#include "python/Kit.h"
#include "registers/HexText.h"

#include <pybind11/functional.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <sstream>

namespace py = pybind11;

namespace {

// The exception classes, made once when the module loads.
struct Exceptions {
    py::object error, communication, port, fileFormat, board;
};
Exceptions& Errors() {
    static Exceptions* e = new Exceptions();  // lives as long as the interpreter
    return *e;
}

py::object NewException(py::module_& m, const char* name, const char* doc, py::tuple bases) {
    const std::string full = std::string("tr805q.") + name;
    PyObject* type = PyErr_NewExceptionWithDoc(full.c_str(), doc, bases.ptr(), nullptr);
    if (!type) throw py::error_already_set();
    py::object t = py::reinterpret_steal<py::object>(type);
    m.attr(name) = t;
    return t;
}

void Raise(const py::object& type, const py::object& instance) {
    PyErr_SetObject(type.ptr(), instance.ptr());
}

void RaiseOSError(int code, const std::string& text, const std::string& path) {
    // OSError itself picks its subclass by the number (FileNotFoundError, PermissionError, ...).
    py::object e = py::reinterpret_borrow<py::object>(PyExc_OSError)(code, text, path);
    Raise(py::type::of(e), e);
}

void TranslateKitErrors(std::exception_ptr p) {
    try {
        if (p) std::rethrow_exception(p);
    } catch (const kit::LostBoardError& e) {
        py::object x = Errors().communication(e.what());
        x.attr("detail") = e.detail;
        Raise(Errors().communication, x);
    } catch (const kit::PortOpenError& e) {
        Raise(Errors().port, Errors().port(e.code, e.what()));
    } catch (const kit::FileFormatError& e) {
        py::object x = Errors().fileFormat(e.what());
        x.attr("row") = e.row ? py::object(py::int_(*e.row)) : py::object(py::none());
        Raise(Errors().fileFormat, x);
    } catch (const kit::BoardRefusedError& e) {
        Raise(Errors().board, Errors().board(e.what()));
    } catch (const kit::FileAccessError& e) {
        RaiseOSError(e.code, e.what(), e.path);
    }
}

// A Python exception raised by a callback, kept while the C++ side finishes its work cleanly,
// and raised again once it is done.
class PendingError {
public:
    bool Holds() const { return error_ != nullptr; }
    // With the GIL, inside the catch of the callback's exception.
    void Keep(py::error_already_set&& e) {
        if (!error_) error_ = std::make_unique<py::error_already_set>(std::move(e));
    }
    void Keep(py::builtin_exception& e) {
        e.set_error();
        if (!error_) error_ = std::make_unique<py::error_already_set>();
    }
    void RaiseIfHeld() {
        if (error_) {
            std::unique_ptr<py::error_already_set> e = std::move(error_);
            throw std::move(*e);
        }
    }

private:
    std::unique_ptr<py::error_already_set> error_;
};

template <typename F>
void Guarded(PendingError& pending, F&& f) {
    py::gil_scoped_acquire gil;
    if (pending.Holds()) return;
    try {
        f();
    } catch (py::error_already_set& e) {
        pending.Keep(std::move(e));
    } catch (py::builtin_exception& e) {
        pending.Keep(e);
    }
}

const char* KindName(script::DialogKind kind) {
    switch (kind) {
        case script::DialogKind::Message: return "message";
        case script::DialogKind::YesNo: return "yesno";
        case script::DialogKind::Entry: return "entry";
    }
    return "message";
}

// The script run's callbacks: answers from the list, then from on_dialog; lines to on_text;
// Ctrl-C and a callback's exception abort the script.
class ScriptCallbacks final : public script::DialogAnswerer {
public:
    // An entry or yes/no question answered this often in a row with answers the dialog does
    // not take is aborted: a callback that keeps giving the same wrong answer cannot hold the
    // run for ever.
    static constexpr int kMaxAttempts = 100;

    ScriptCallbacks(py::object answers, py::object onText, py::object onDialog)
        : answers_(answers.is_none() ? py::list() : py::list(answers)),
          onText_(std::move(onText)),
          onDialog_(std::move(onDialog)) {}

    std::optional<std::string> Answer(script::DialogKind kind, const std::string&, const std::string& prompt,
                                      const std::string& field, int attempt) override {
        std::optional<std::string> answer;
        if (attempt >= kMaxAttempts) return answer;
        Guarded(pending_, [&] {
            py::object value;
            if (next_ < answers_.size()) {
                value = answers_[next_++];
            } else if (!onDialog_.is_none()) {
                value = onDialog_(
                    KindName(kind), prompt,
                    kind == script::DialogKind::Entry ? py::object(py::str(field)) : py::object(py::none()));
            } else {
                return;
            }
            answer = Convert(kind, value);
        });
        return answer;
    }

    void Line(const std::string& line) {
        if (onText_.is_none()) return;
        Guarded(pending_, [&] { onText_(py::str(line)); });
    }

    // Between posts: a pending Ctrl-C, or a callback that raised, aborts the script.
    bool Interrupted() {
        Guarded(pending_, [&] {
            if (PyErr_CheckSignals() != 0) throw py::error_already_set();
        });
        return pending_.Holds();
    }

    PendingError& Pending() { return pending_; }

private:
    static std::optional<std::string> Convert(script::DialogKind kind, const py::object& value) {
        if (value.is_none()) return std::nullopt;
        if (py::isinstance<py::bool_>(value)) {
            const bool yes = value.cast<bool>();
            if (kind == script::DialogKind::Message) return std::string(yes ? "ok" : "cancel");
            if (kind == script::DialogKind::YesNo) return std::string(yes ? "yes" : "no");
            throw py::type_error("an entry dialog is answered with a str or an int, not a bool");
        }
        if (py::isinstance<py::int_>(value)) {
            if (kind != script::DialogKind::Entry) {
                throw py::type_error(std::string("a ") + KindName(kind) +
                                     " dialog is answered with a bool or a str");
            }
            return py::str(value).cast<std::string>();
        }
        if (py::isinstance<py::str>(value)) return value.cast<std::string>();
        throw py::type_error(std::string("unusable answer to a ") + KindName(kind) +
                             " dialog: " + py::repr(value).cast<std::string>());
    }

    py::list answers_;
    size_t next_ = 0;
    py::object onText_, onDialog_;
    PendingError pending_;
};

// ---- Arguments ----

int ParityArgument(const py::object& v) {
    if (py::isinstance<py::str>(v)) return kit::ParityCode(v.cast<std::string>());
    const int code = v.cast<int>();
    if (code < ParityEven || code > ParitySpace) throw py::value_error("parity code must be 0 to 4");
    return code;
}

int FlowArgument(const py::object& v) {
    if (py::isinstance<py::str>(v)) return kit::FlowControlCode(v.cast<std::string>());
    const int code = v.cast<int>();
    if (code < FlowNone || code > FlowXonXoff) throw py::value_error("flow control code must be 0 to 5");
    return code;
}

int StopBitsArgument(const py::object& v) {
    const double n = v.cast<double>();
    if (n == 1.0) return StopOne;
    if (n == 1.5) return StopOneAndHalf;
    if (n == 2.0) return StopTwo;
    throw py::value_error("stop_bits must be 1, 1.5 or 2");
}

std::unique_ptr<kit::Kit> OpenKit(const py::object& port, long baud, const py::object& parity, int dataBits,
                                  const py::object& stopBits, const py::object& flowControl) {
    if (baud <= 0 || baud > 4'000'000) throw py::value_error("baud must be a positive rate up to 4000000");
    if (dataBits < 5 || dataBits > 8) throw py::value_error("data_bits must be 5 to 8");
    SerialLineSettings line{static_cast<uint32_t>(baud), ParityArgument(parity),
                            static_cast<uint8_t>(dataBits), StopBitsArgument(stopBits),
                            FlowArgument(flowControl)};
    if (py::isinstance<py::bool_>(port) ||
        !(py::isinstance<py::int_>(port) || py::isinstance<py::str>(port))) {
        throw py::type_error("port must be a COM number (3 or \"COM3\") or a device path");
    }
    if (py::isinstance<py::int_>(port)) {
        const int number = port.cast<int>();
        py::gil_scoped_release release;
        return kit::Kit::Open(BoardPortName::Number(number), line);
    }
    const std::string text = port.cast<std::string>();
    py::gil_scoped_release release;
    return kit::Kit::Open(BoardPortName::Parse(text), line);
}

std::string PathArgument(const py::object& path);

uint64_t NumberInRange(const py::object& v, const char* name, uint64_t max) {
    const long long n = v.cast<long long>();
    if (n < 0 || static_cast<unsigned long long>(n) > max) {
        throw py::value_error(std::string(name) + " must be 0 to " + std::to_string(max));
    }
    return static_cast<uint64_t>(n);
}

void FirmwareVersionArgument(const py::object& v, sim::BoardConfig& config) {
    std::vector<long long> parts;
    if (py::isinstance<py::str>(v)) {
        std::string text = v.cast<std::string>();
        std::stringstream in(text);
        std::string part;
        while (std::getline(in, part, '.')) {
            try {
                size_t used = 0;
                parts.push_back(std::stoll(part, &used, 0));
                if (used != part.size()) parts.push_back(-1);
            } catch (const std::exception&) {
                parts.push_back(-1);
            }
        }
    } else {
        for (py::handle h : v) parts.push_back(h.cast<long long>());
    }
    if (parts.size() != 3 ||
        std::any_of(parts.begin(), parts.end(), [](long long p) { return p < 0 || p > 255; })) {
        throw py::value_error("firmware_version must be \"K.M.m\" or (K, M, m), three numbers of 0 to 255");
    }
    config.firmwareKind = static_cast<uint8_t>(parts[0]);
    config.firmwareMajor = static_cast<uint8_t>(parts[1]);
    config.firmwareMinor = static_cast<uint8_t>(parts[2]);
}

std::unique_ptr<kit::Kit> SimulatedKit(const py::object& firmwareVersion, const py::object& firmwareCode,
                                       const py::object& kernletOptions, int scriptStatus, bool noReply,
                                       bool wrongFirstByte, bool wrongReplyCode, const py::object& staleBytes,
                                       const py::object& refusals, const py::object& refusalChunk,
                                       const py::object& closeAfter, const py::object& lineRate,
                                       const py::object& fillTrace, const py::object& log) {
    kit::SimulatedBoard board;
    if (!firmwareVersion.is_none()) FirmwareVersionArgument(firmwareVersion, board.config);
    if (!firmwareCode.is_none())
        board.config.firmwareCode =
            static_cast<uint32_t>(NumberInRange(firmwareCode, "firmware_code", 0xFFFFFFFFu));
    if (!kernletOptions.is_none())
        board.config.kernletOptions =
            static_cast<uint8_t>(NumberInRange(kernletOptions, "kernlet_options", 0xFF));
    if (scriptStatus != 0 && scriptStatus != 1) throw py::value_error("script_status must be 0 or 1");
    board.scriptStatus = static_cast<uint8_t>(scriptStatus);
    board.faults.noReply = noReply;
    board.faults.wrongFirstByte = wrongFirstByte;
    board.faults.wrongReplyCode = wrongReplyCode;
    board.faults.staleBytes = static_cast<int>(NumberInRange(staleBytes, "stale_bytes", 1 << 20));
    board.faults.refusals = static_cast<int>(NumberInRange(refusals, "refusals", 1 << 20));
    if (!refusalChunk.is_none())
        board.faults.refusalChunk = static_cast<long>(NumberInRange(refusalChunk, "refusal_chunk", 1L << 30));
    if (!closeAfter.is_none())
        board.faults.closeAfterBytes = static_cast<long>(NumberInRange(closeAfter, "close_after", 1LL << 62));
    // As mb805q-sim takes them: a line no faster than 100 Mbaud, a trace no longer than its memory.
    board.lineRate = static_cast<uint32_t>(NumberInRange(lineRate, "line_rate", 100'000'000));
    board.config.fillTrace =
        static_cast<size_t>(NumberInRange(fillTrace, "fill_trace", sim::Board::kTraceEntries));
    if (!log.is_none()) board.logPath = PathArgument(log);
    py::gil_scoped_release release;
    return kit::Kit::Simulated(board);
}

std::string PathArgument(const py::object& path) {
    // str, or anything os.fspath takes (pathlib.Path).
    py::object fspath = py::module_::import("os").attr("fspath");
    py::object p = fspath(path);
    if (!py::isinstance<py::str>(p)) throw py::type_error("paths are str or os.PathLike of str");
    return p.cast<std::string>();
}

std::string OptionalPath(const py::object& path) {
    return path.is_none() ? std::string() : PathArgument(path);
}

const char* IconName(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::None: return "none";
        case MsgIcon::Error: return "error";
        case MsgIcon::Warning: return "warning";
        case MsgIcon::Information: return "information";
        case MsgIcon::Question: return "question";
    }
    return "none";
}

std::optional<std::string> RowTypeName(RowType t) {
    if (t == RowType::None) return std::nullopt;
    return std::string(kRowTypeNames[static_cast<size_t>(t)]);
}

RowType RowTypeOf(const std::optional<std::string>& name) {
    if (!name) return RowType::None;
    for (size_t i = 0; i < kRowTypeNames.size(); ++i) {
        if (*name == kRowTypeNames[i]) return static_cast<RowType>(i);
    }
    throw py::value_error(
        "row type must be None, \"16 bit Rd\", \"16 bit Wr\", \"8 bit Rd\" or \"8 bit Wr\", not \"" + *name +
        "\"");
}

std::string Quoted(const std::string& s) { return py::repr(py::str(s)).cast<std::string>(); }

}  // namespace

PYBIND11_MODULE(tr805q, m) {
    m.doc() =
        "The MB805Q evaluation kit from Python: read and write target registers, read the bus trace, run "
        "register tables, load Kernlets, compile and run scripts. A Kit is the board on a COM port, or "
        "Kit.simulated() for the simulated board in this process.";
    m.attr("__version__") = kProgramVersionNumber;

    py::object exception = py::reinterpret_borrow<py::object>(PyExc_Exception);
    Errors().error =
        NewException(m, "Error", "Base of the errors tr805q raises itself.", py::make_tuple(exception));
    Errors().communication =
        NewException(m, "CommunicationError",
                     "The board was lost: it did not answer, answered wrongly, or its port failed. The text "
                     "is the program's "
                     "report; `detail` holds the port's own words when the port failed. The kit is closed.",
                     py::make_tuple(Errors().error));
    Errors().port =
        NewException(m, "PortError",
                     "The port could not be opened; the text says which and the system's reason. An OSError.",
                     py::make_tuple(Errors().error, py::reinterpret_borrow<py::object>(PyExc_OSError)));
    Errors().fileFormat = NewException(
        m, "FileFormatError",
        "A file the program refuses, with the program's message; `row` names the register table row when one "
        "cannot be run. A ValueError.",
        py::make_tuple(Errors().error, py::reinterpret_borrow<py::object>(PyExc_ValueError)));
    Errors().board = NewException(m, "BoardError",
                                  "The board answered but the operation did not succeed (a refused Kernlet "
                                  "transfer, a Kernlet that did "
                                  "not start), with the program's message.",
                                  py::make_tuple(Errors().error));
    py::register_exception_translator(TranslateKitErrors);

    py::class_<kit::KitInfo>(m, "Info", "What the board reports about itself (the About box).")
        .def_property_readonly(
            "board_type", [](const kit::KitInfo& i) { return i.board.boardType; },
            "Board type code, as received.")
        .def_property_readonly(
            "board_version",
            [](const kit::KitInfo& i) { return py::make_tuple(i.board.versionMajor, i.board.versionMinor); },
            "Board version (major, minor).")
        .def_property_readonly(
            "command_buffer_size", [](const kit::KitInfo& i) { return i.board.commandBufferSize; },
            "Command buffer size, in commands.")
        .def_property_readonly(
            "data_buffer_size", [](const kit::KitInfo& i) { return i.board.dataBufferSize; },
            "Data buffer size, in words.")
        .def_property_readonly(
            "file_buffer_size", [](const kit::KitInfo& i) { return i.board.fileBufferSize; },
            "File buffer size, in words.")
        .def_property_readonly(
            "kernlet_options", [](const kit::KitInfo& i) { return i.board.kernletOptions; },
            "Kernlet options mask, by device number: a set bit verifies a load by reply words.")
        .def_property_readonly(
            "firmware_kind", [](const kit::KitInfo& i) { return i.firmware.firmwareKind; },
            "Firmware kind (3: firmware this program does not suit).")
        .def_property_readonly(
            "firmware_version",
            [](const kit::KitInfo& i) {
                return py::make_tuple(i.firmware.versionMajor, i.firmware.versionMinor);
            },
            "Firmware version (major, minor).")
        .def_property_readonly(
            "firmware_code", [](const kit::KitInfo& i) { return i.code; }, "Firmware code.")
        .def_property_readonly(
            "lines",
            [](const kit::KitInfo& i) {
                const auto lines = BoardInfoLines(i.board, i.firmware, i.code);
                return std::vector<std::string>(lines.begin(), lines.end());
            },
            "The board lines of the About box, as it shows them.")
        .def("__repr__", [](const kit::KitInfo& i) {
            std::ostringstream s;
            s << "Info(board_type=" << unsigned{i.board.boardType} << ", board_version=("
              << unsigned{i.board.versionMajor} << ", " << unsigned{i.board.versionMinor}
              << "), firmware_kind=" << unsigned{i.firmware.firmwareKind} << ", firmware_version=("
              << unsigned{i.firmware.versionMajor} << ", " << unsigned{i.firmware.versionMinor}
              << "), firmware_code=0x" << std::hex << std::uppercase << i.code << ")";
            return s.str();
        });

    py::class_<TraceRecord>(m, "TraceRecord", "One Z-LINK access of the board's trace.")
        .def_readonly("device", &TraceRecord::device, "Device number, as sent.")
        .def_readonly("direction", &TraceRecord::direction, "1 for a read access, 0 for a write access.")
        .def_readonly("address", &TraceRecord::address, "Register address.")
        .def_readonly("data", &TraceRecord::data, "The value read or written.")
        .def_readonly("bytes_per_access", &TraceRecord::bytesPerAccess,
                      "1 for an 8-bit access, 2 for 16-bit.")
        .def_readonly("access_count", &TraceRecord::accessCount, "Accesses in the transaction.")
        .def_readonly("access_number", &TraceRecord::accessNumber,
                      "This access's number in the transaction, from 1.")
        .def_readonly("timestamp", &TraceRecord::timestamp, "Board time of the access, in microseconds.")
        .def("__repr__", [](const TraceRecord& r) {
            char text[200];
            std::snprintf(
                text, sizeof text,
                "TraceRecord(device=%u, direction=%u, address=0x%02X, data=0x%04X, bytes_per_access=%u, "
                "access_count=%u, access_number=%u, timestamp=%u)",
                r.device, r.direction, r.address, r.data, r.bytesPerAccess, r.accessCount, r.accessNumber,
                static_cast<unsigned>(r.timestamp));
            return std::string(text);
        });

    py::class_<kit::TableRow>(m, "TableRow",
                              "One row of a register table: its texts as the configuration file holds them.")
        .def(
            py::init([](std::string description, std::string address, std::optional<std::string> type,
                        std::string data, bool enabled) {
                kit::TableRow r;
                r.row.description = std::move(description);
                r.row.address = std::move(address);
                r.row.type = RowTypeOf(type);
                r.row.data = std::move(data);
                r.row.enabled = enabled;
                return r;
            }),
            py::arg("description") = "", py::arg("address") = "", py::arg("type") = py::none(),
            py::arg("data") = "", py::arg("enabled") = false,
            "A row: address and data are hex texts (\"20\", \"1234\"); type is None or one of \"16 bit Rd\", "
            "\"16 bit Wr\", \"8 bit Rd\", \"8 bit Wr\".")
        .def_readonly("number", &kit::TableRow::number, "Row number 1..40 (0 for a row made here).")
        .def_property(
            "description", [](const kit::TableRow& r) { return r.row.description; },
            [](kit::TableRow& r, std::string v) { r.row.description = std::move(v); }, "Description text.")
        .def_property(
            "address", [](const kit::TableRow& r) { return r.row.address; },
            [](kit::TableRow& r, std::string v) { r.row.address = std::move(v); },
            "Register address, hex text.")
        .def_property(
            "type", [](const kit::TableRow& r) { return RowTypeName(r.row.type); },
            [](kit::TableRow& r, std::optional<std::string> v) { r.row.type = RowTypeOf(v); },
            "None, \"16 bit Rd\", \"16 bit Wr\", \"8 bit Rd\" or \"8 bit Wr\".")
        .def_property(
            "data", [](const kit::TableRow& r) { return r.row.data; },
            [](kit::TableRow& r, std::string v) { r.row.data = std::move(v); },
            "Data, hex text: the value to write, or the value read.")
        .def_property(
            "enabled", [](const kit::TableRow& r) { return r.row.enabled; },
            [](kit::TableRow& r, bool v) { r.row.enabled = v; }, "Whether all-rows runs include the row.")
        .def_property_readonly(
            "value",
            [](const kit::TableRow& r) -> std::optional<uint32_t> {
                if (r.row.data.empty() || !IsHexText(r.row.data) || r.row.data.size() > 8)
                    return std::nullopt;
                return HexTextToNumber(r.row.data);
            },
            "The data as a number, or None when it is no hex text.")
        .def_readonly("accessed", &kit::TableRow::accessed, "Whether the run reached the board for this row.")
        .def("__repr__", [](const kit::TableRow& r) {
            const std::optional<std::string> type = RowTypeName(r.row.type);
            return "TableRow(number=" + std::to_string(r.number) +
                   ", description=" + Quoted(r.row.description) + ", address=" + Quoted(r.row.address) +
                   ", type=" + (type ? Quoted(*type) : "None") + ", data=" + Quoted(r.row.data) +
                   ", enabled=" + (r.row.enabled ? "True" : "False") +
                   ", accessed=" + (r.accessed ? "True" : "False") + ")";
        });

    py::class_<KernletBlockHeader>(m, "KernletBlock",
                                   "A block of a loaded Kernlet, as its file describes it.")
        .def_readonly("address", &KernletBlockHeader::address, "Load address.")
        .def_readonly("words", &KernletBlockHeader::lengthWords, "Length in words.")
        .def_property_readonly("checksum", &KernletBlockHeader::Checksum,
                               "The file's 32-bit checksum of the block.")
        .def("__repr__", [](const KernletBlockHeader& b) {
            char text[96];
            std::snprintf(text, sizeof text, "KernletBlock(address=0x%04X, words=%u, checksum=0x%08X)",
                          b.address, b.lengthWords, static_cast<unsigned>(b.Checksum()));
            return std::string(text);
        });

    py::class_<kit::KernletReport>(m, "KernletResult", "What a Kernlet load found.")
        .def_readonly("product_id", &kit::KernletReport::productId, "Product ID the device reports.")
        .def_readonly("version", &kit::KernletReport::version, "Kernlet version the device reports.")
        .def_readonly("checksums_match", &kit::KernletReport::checksumsMatch,
                      "Whether the device's checksums equal the file's.")
        .def_readonly("blocks", &kit::KernletReport::blocks, "The blocks loaded, in file order.")
        .def("__repr__", [](const kit::KernletReport& r) {
            char text[128];
            std::snprintf(text, sizeof text,
                          "KernletResult(product_id=0x%04X, version=0x%04X, checksums_match=%s, blocks=%zu)",
                          r.productId, r.version, r.checksumsMatch ? "True" : "False", r.blocks.size());
            return std::string(text);
        });

    py::class_<kit::CompileReport>(m, "CompileResult", "A compiled script.")
        .def_readonly("errors", &kit::CompileReport::errors, "Compile errors, as the script page lists them.")
        .def_property_readonly(
            "frames",
            [](const kit::CompileReport& r) {
                py::list frames;
                for (const auto& f : r.frames)
                    frames.append(py::bytes(reinterpret_cast<const char*>(f.data()), f.size()));
                return frames;
            },
            "The download frames a run sends, in order (empty when there are errors).")
        .def_readonly("listing_path", &kit::CompileReport::listingPath,
                      "Where the listing debug_file.txt was written.")
        .def("__repr__", [](const kit::CompileReport& r) {
            return "CompileResult(errors=" + std::to_string(r.errors.size()) +
                   ", frames=" + std::to_string(r.frames.size()) + ", listing_path=" + Quoted(r.listingPath) +
                   ")";
        });

    py::class_<kit::ScriptReport>(m, "ScriptResult", "How a script run ended.")
        .def_readonly("lines", &kit::ScriptReport::lines, "The results list at the end.")
        .def_readonly("status", &kit::ScriptReport::status,
                      "\"finished\", \"aborted\", \"timeout\", \"error\" (a run-time error), \"file_error\", "
                      "\"queue_full\" or \"compile_failed\".")
        .def("__repr__", [](const kit::ScriptReport& r) {
            return "ScriptResult(status=" + Quoted(r.status) + ", lines=" + std::to_string(r.lines.size()) +
                   ")";
        });

    py::class_<kit::KitMessage>(m, "Message", "A message box the window would have shown.")
        .def_readonly("text", &kit::KitMessage::text, "The text.")
        .def_readonly("caption", &kit::KitMessage::caption, "The caption.")
        .def_property_readonly(
            "icon", [](const kit::KitMessage& msg) { return IconName(msg.icon); },
            "\"error\", \"warning\", \"information\", \"question\" or \"none\".")
        .def_readonly("detail", &kit::KitMessage::detail, "The system's reason beneath an error, or \"\".")
        .def("__repr__", [](const kit::KitMessage& msg) {
            return "Message(text=" + Quoted(msg.text) + ", caption=" + Quoted(msg.caption) + ")";
        });

    py::class_<kit::Kit>(
        m, "Kit",
        "The kit on a COM port, or the simulated board (Kit.simulated). A context manager; close() "
        "closes the port. One call at a time per kit: other threads wait their turn.")
        .def(py::init(&OpenKit), py::arg("port"), py::arg("baud") = 115200, py::arg("parity") = "none",
             py::arg("data_bits") = 8, py::arg("stop_bits") = 1, py::arg("flow_control") = "none",
             "Opens a COM number (3 or \"COM3\", through the port table) or a device path. parity: \"none\", "
             "\"even\", \"odd\", \"mark\", \"space\" (or its code); stop_bits: 1, 1.5 or 2; flow_control: "
             "\"none\", "
             "\"rts/cts\", \"cts/dtr\", \"dsr/rts\", \"dtr/dsr\", \"xon/xoff\" (or its code). Raises "
             "PortError.")
        .def_static(
            "simulated", &SimulatedKit, py::kw_only(), py::arg("firmware_version") = py::none(),
            py::arg("firmware_code") = py::none(), py::arg("kernlet_options") = py::none(),
            py::arg("script_status") = 0, py::arg("no_reply") = false, py::arg("wrong_first_byte") = false,
            py::arg("wrong_reply_code") = false, py::arg("stale_bytes") = 0, py::arg("refusals") = 0,
            py::arg("refusal_chunk") = py::none(), py::arg("close_after") = py::none(),
            py::arg("line_rate") = 0, py::arg("fill_trace") = 0, py::arg("log") = py::none(),
            "The simulated board in this process, with mb805q-sim's options: firmware_version \"K.M.m\", "
            "firmware_code, kernlet_options, script_status, the faults no_reply, wrong_first_byte, "
            "wrong_reply_code, stale_bytes, refusals, refusal_chunk, close_after, line_rate (bytes take "
            "the wire time of that baud rate; 0: no time), fill_trace (trace entries it starts with), "
            "and log (a file that receives every request as hex bytes). Its own waits take no time.")
        .def(
            "__enter__", [](py::object self) { return self; }, "Returns the kit.")
        .def(
            "__exit__", [](kit::Kit& k, py::args) { k.Close(); }, py::call_guard<py::gil_scoped_release>(),
            "Closes the kit.")
        .def("close", &kit::Kit::Close, py::call_guard<py::gil_scoped_release>(),
             "Closes the port (again: nothing).")
        .def_property_readonly("closed", &kit::Kit::Closed,
                               "True once the kit is closed (also after a lost board).")
        .def("info", &kit::Kit::Info, py::call_guard<py::gil_scoped_release>(),
             "What the board reports about itself.")
        .def("read", &kit::Kit::Read, py::arg("addr"), py::arg("bits") = 16, py::arg("device") = 1,
             py::call_guard<py::gil_scoped_release>(), "Reads a register (8 or 16 bits) of device 1..3.")
        .def("write", &kit::Kit::Write, py::arg("addr"), py::arg("value"), py::arg("bits") = 16,
             py::arg("device") = 1, py::call_guard<py::gil_scoped_release>(),
             "Writes a register (8 or 16 bits) of device 1..3.")
        .def("reset", &kit::Kit::Reset, py::arg("device") = 1, py::call_guard<py::gil_scoped_release>(),
             "General reset of a device; a device running a Kernlet loaded by this kit is waited for until "
             "the "
             "Kernlet has started again (BoardError when it does not within 3 s, 5 s for devices 2 and 3).")
        .def("trace", &kit::Kit::Trace, py::arg("start") = 0, py::arg("count") = py::none(),
             py::call_guard<py::gil_scoped_release>(),
             "The board's trace from position start (0: the newest access), at most count records (None: "
             "all).")
        .def(
            "save_trace",
            [](kit::Kit& k, const py::object& path, const std::string& format) {
                const std::string p = PathArgument(path);
                py::gil_scoped_release release;
                k.SaveTrace(p, format);
            },
            py::arg("path"), py::arg("format") = "text",
            "Saves the whole trace: \"text\" as the trace window does, \"csv\" (one row per access, the "
            "oldest "
            "first), \"vcd\" (a value change dump for waveform viewers) or \"vcd-bits\" (the same in 1-bit "
            "signals, for readers that take no vectors), as the trace window's Save... and Export... write "
            "them.")
        .def(
            "run_table",
            [](kit::Kit& k, const py::object& path, const std::string& mode, int device) {
                const std::string p = PathArgument(path);
                py::gil_scoped_release release;
                return k.RunTable(p, mode, device);
            },
            py::arg("path"), py::arg("mode") = "both", py::arg("device") = 1,
            "Runs the enabled rows of a register configuration file (mode \"both\", \"write\" or \"read\", "
            "as "
            "Wr\\Rd all, Wr all, Rd all) and returns its 40 rows with the values read.")
        .def(
            "load_kernlet",
            [](kit::Kit& k, const py::object& path, int device, py::object progress) {
                const std::string p = PathArgument(path);
                PendingError pending;
                std::function<void(int, int)> report;
                if (!progress.is_none()) {
                    report = [&](int done, int total) { Guarded(pending, [&] { progress(done, total); }); };
                }
                kit::KernletReport r;
                {
                    py::gil_scoped_release release;
                    r = k.LoadKernlet(p, device, &report);
                }
                pending.RaiseIfHeld();
                return r;
            },
            py::arg("path"), py::arg("device") = 1, py::arg("progress") = py::none(),
            "Loads a Kernlet file into device 1..3 and verifies it as the Kernlet page does; progress(done, "
            "total) is called as the file goes out, in blocks. Differing checksums do not stop the load: see "
            "checksums_match.")
        .def(
            "run_script",
            [](kit::Kit& k, const py::object& path, py::object answers, py::object onText,
               py::object onDialog, py::object timeout, py::object listingDir) {
                const std::string p = PathArgument(path);
                ScriptCallbacks callbacks(std::move(answers), std::move(onText), std::move(onDialog));
                kit::ScriptHooks hooks;
                hooks.answerer = &callbacks;
                hooks.onLine = [&](const std::string& line) { callbacks.Line(line); };
                hooks.interrupted = [&] { return callbacks.Interrupted(); };
                hooks.listingDirectory = OptionalPath(listingDir);
                if (!timeout.is_none()) {
                    const double seconds = timeout.cast<double>();
                    if (!(seconds >= 0) || seconds > 1e9)
                        throw py::value_error("timeout must be a number of seconds >= 0");
                    hooks.deadline = std::chrono::steady_clock::now() +
                                     std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                         std::chrono::duration<double>(seconds));
                }
                kit::ScriptReport r;
                {
                    py::gil_scoped_release release;
                    r = k.RunScript(p, hooks);
                }
                callbacks.Pending().RaiseIfHeld();
                return r;
            },
            py::arg("path"), py::arg("answers") = py::none(), py::arg("on_text") = py::none(),
            py::arg("on_dialog") = py::none(), py::arg("timeout") = py::none(),
            py::arg("listing_dir") = py::none(),
            "Compiles, downloads and runs a script as the script page does; its data files lie beside it. "
            "Dialogs take the answers in order, then on_dialog(kind, prompt, proposed) with kind "
            "\"message\", "
            "\"yesno\" or \"entry\"; None (or no answer left) aborts. on_text(line) gets each results line. "
            "Ctrl-C, a callback's exception or the timeout (seconds) aborts the script.")
        .def_property_readonly("messages", &kit::Kit::Messages,
                               "The message boxes the window would have shown, oldest first.");

    m.def(
        "compile",
        [](const py::object& path, const py::object& listingDir) {
            const std::string p = PathArgument(path);
            const std::string dir = OptionalPath(listingDir);
            py::gil_scoped_release release;
            return kit::Compile(p, dir);
        },
        py::arg("path"), py::arg("listing_dir") = py::none(),
        "Compiles a script as the script page does, without a board; the listing debug_file.txt goes to "
        "listing_dir (None: the current directory).");
    m.def(
        "load_table",
        [](const py::object& path) {
            const std::vector<RegisterRow> rows = kit::LoadTable(PathArgument(path));
            std::vector<kit::TableRow> out(rows.size());
            for (size_t i = 0; i < rows.size(); ++i) {
                out[i].number = static_cast<int>(i + 1);
                out[i].row = rows[i];
            }
            return out;
        },
        py::arg("path"), "Reads a register configuration file: its 40 rows.");
    m.def(
        "save_table",
        [](const py::object& path, const std::vector<kit::TableRow>& rows) {
            std::vector<RegisterRow> plain;
            for (const kit::TableRow& r : rows) plain.push_back(r.row);
            kit::SaveTable(PathArgument(path), plain);
        },
        py::arg("path"), py::arg("rows"),
        "Writes a register configuration file from at most 40 rows, in order (missing rows are empty).");
}
