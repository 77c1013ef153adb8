// The fault matrix: every board operation the program performs against every fault the
// simulated board can show. Each cell checks what the user is told (text, caption), whether the
// program is asked to quit, that a file being saved keeps its previous content, and that the
// operation ends within a bounded time.
#include "app/TR805QSheet.h"
#include "core/ExitCodes.h"
#include "link/LostBoard.h"
#include "link/Messages.h"
#include "loading/Kernlet.h"
#include "registers/RegisterTable.h"
#include "registers/Trace.h"
#include "registers/ZLINKControl.h"
#include "sim/FirmwareImage.h"
#include "sim/KernletDevice.h"
#include "tests/support/SimHost.h"
#include "tests/support/TempFolder.h"
#include "tests/support/app/AppTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

enum class Fault {
    None,
    NoReply,
    WrongFirstByte,
    WrongReplyCode,
    StaleBytes,
    Refusals,
    LineClosed,
    Unplugged
};

const char* Name(Fault f) {
    switch (f) {
        case Fault::None: return "no fault";
        case Fault::NoReply: return "no reply";
        case Fault::WrongFirstByte: return "wrong first byte";
        case Fault::WrongReplyCode: return "wrong reply code";
        case Fault::StaleBytes: return "stale bytes";
        case Fault::Refusals: return "pacing refusal";
        case Fault::LineClosed: return "line closed mid-exchange";
        case Fault::Unplugged: return "adapter unplugged";
    }
    return "?";
}

void Apply(Fault f, sim::Board& board) {
    sim::Faults& faults = board.faults();
    switch (f) {
        case Fault::None: break;
        case Fault::NoReply: faults.noReply = true; break;
        case Fault::WrongFirstByte: faults.wrongFirstByte = true; break;
        case Fault::WrongReplyCode: faults.wrongReplyCode = true; break;
        case Fault::StaleBytes: faults.staleBytes = 3; break;
        case Fault::Refusals: faults.refusals = 2; break;
        // In the middle of the operation's first request.
        case Fault::LineClosed: faults.closeAfterBytes = 2; break;
        // Before the operation: its first write and read fail with EIO.
        case Fault::Unplugged: faults.closeAfterBytes = 0; break;
    }
}

// What the user saw at the end of one cell.
struct Outcome {
    std::vector<ShownMessage> messages;
    std::vector<int> quits;
    bool portFailure = false;  // an exception escaped the operation: never, a failing port is a lost board
    uint64_t elapsedMs = 0;
};

// What a cell must show.
struct Expected {
    enum Kind { Success, LostBoard, Message, Note, PortDoesNotOpen } kind;
    std::string text;  // for Message: the text
    bool quit = false;  // for Message: the program is asked to quit
};

Expected Success() { return {Expected::Success, {}, false}; }
Expected LostBoard() { return {Expected::LostBoard, kMsgNoCommunication, true}; }
// The port dialog's failure to open, with the reason beneath; the user then cancels.
Expected PortDoesNotOpen() {
    return {Expected::PortDoesNotOpen, "Unable to open port COM3.\nCheck board connection to COM port.",
            true};
}
Expected Says(std::string text, bool quit) { return {Expected::Message, std::move(text), quit}; }
// A completion note with the operation's name as caption, and nothing else.
Expected Note(std::string caption) { return {Expected::Note, std::move(caption), false}; }

struct Operation {
    const char* name;
    // Runs the operation with the fault applied; fills the outcome.
    std::function<Outcome(Fault)> run;
    // What each fault must give.
    std::function<Expected(Fault)> expect;
    uint64_t boundMs;  // the operation ends within this much (fake) time
};

template <typename Body>
Outcome OnSimHost(Fault f, Body body, std::function<void(SimHost&)> setup = {}) {
    SimHost host;
    if (setup) setup(host);
    Apply(f, host.simBoard);
    Outcome o;
    const uint64_t start = host.clock.NowMs();
    try {
        body(host);
    } catch (const CSerialException&) {
        o.portFailure = true;
    }
    o.elapsedMs = host.clock.NowMs() - start;
    o.messages = host.prompts.messages;
    o.quits = host.prompts.quitCodes;
    return o;
}

// Faults on data replies leave writes and resets alone; refusals and stale bytes leave every
// plain request alone.
Expected RegisterRule(Fault f, bool readsData) {
    switch (f) {
        case Fault::None:
        case Fault::StaleBytes:
        case Fault::Refusals: return Success();
        case Fault::NoReply:
        case Fault::WrongFirstByte: return LostBoard();
        case Fault::WrongReplyCode: return readsData ? LostBoard() : Success();
        case Fault::LineClosed:
        case Fault::Unplugged: return LostBoard();
    }
    return Success();
}

std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

const char* kResetFailed =
    "Error - Unable to communicate with HK61477 kit\nCheck connections and restart the program";

std::vector<Operation> Operations() {
    std::vector<Operation> ops;
    ops.push_back({"write register (16-bit)",
                   [](Fault f) {
                       return OnSimHost(f, [](SimHost& h) {
                           CZLINKControl page(h);
                           page.writeAddress = "20";
                           page.writeData = "1234";
                           page.Write();
                       });
                   },
                   [](Fault f) { return RegisterRule(f, false); }, 2000});
    ops.push_back({"read register (8-bit)",
                   [](Fault f) {
                       return OnSimHost(f, [](SimHost& h) {
                           CZLINKControl page(h);
                           page.readAddress = "20";
                           page.readWidth = RegWidth::Bits8;
                           page.Read();
                       });
                   },
                   [](Fault f) { return RegisterRule(f, true); }, 2000});
    ops.push_back({"read register (16-bit)",
                   [](Fault f) {
                       return OnSimHost(f, [](SimHost& h) {
                           CZLINKControl page(h);
                           page.readAddress = "20";
                           page.Read();
                       });
                   },
                   [](Fault f) { return RegisterRule(f, true); }, 2000});
    ops.push_back({"register table: write and read all rows",
                   [](Fault f) {
                       return OnSimHost(f, [](SimHost& h) {
                           CZLINKControlExt1 page(h);
                           for (int r : {1, 2}) {
                               page.ApplyType(r, r == 1 ? RowType::Wr16 : RowType::Rd16);
                               page.Row(r).address = "30";
                               page.Row(r).data = r == 1 ? "BEEF" : "";
                               page.Row(r).enabled = true;
                           }
                           page.RunAll(AllRowsRun::Both);
                       });
                   },
                   [](Fault f) { return RegisterRule(f, true); }, 3000});
    ops.push_back({"general reset with a Kernlet to wait for",
                   [](Fault f) {
                       return OnSimHost(f, [](SimHost& h) {
                           h.SetKernletLoaded(1, true);
                           CZLINKControl page(h);
                           page.GenReset();
                       });
                   },
                   [](Fault f) {
                       // The wait reads register 0xC6, which a wrong reply code breaks; the
                       // simulated device holds no Kernlet, so bit 0 never comes.
                       if (f == Fault::None || f == Fault::StaleBytes || f == Fault::Refusals) {
                           return Says(kMsgKernletNotStarted, false);
                       }
                       return RegisterRule(f, true);
                   },
                   6000});
    ops.push_back({"identification at connection",
                   [](Fault f) {
                       SimRig rig;
                       FakeSheetWindow window;
                       window.portAnswers.push_back(FakeSheetWindow::Choose("COM3"));
                       Apply(f, rig.simBoard);
                       CTR805QSheet sheet(rig.Platform(), window);
                       Outcome o;
                       try {
                           sheet.Initialise();
                       } catch (const CSerialException&) {
                           o.portFailure = true;
                       }
                       o.elapsedMs = rig.clock.NowMs();
                       o.messages = rig.prompts.messages;
                       o.quits = rig.prompts.quitCodes;
                       return o;
                   },
                   [](Fault f) {
                       // Only the board information is checked; the version and code replies
                       // that fail are not reported.
                       if (f == Fault::WrongReplyCode) return LostBoard();
                       // An adapter already gone when the port dialog closes does not open.
                       if (f == Fault::Unplugged) return PortDoesNotOpen();
                       return RegisterRule(f, true);
                   },
                   5000});
    ops.push_back({"firmware replacement",
                   [](Fault f) {
                       const TempFolder folder("tr805q-faults-fw");
                       const fs::path& dir = folder.Path();
                       const auto file = sim::WriteFirmwareFile(dir, {2, 9, 9, 0x805, 0}, 3000);
                       Outcome o = OnSimHost(f, [&](SimHost& h) {
                           h.board.SetProgramDirectory(dir.string());
                           // The sheet takes a start request that cannot be sent for a lost board.
                           if (!h.board.StartFirmwareLoader()) {
                               ReportLostBoard(h.Prompts(), h.board.Link());
                               return;
                           }
                           static_cast<void>(h.board.LoadFirmware(
                               file->filename().string()));  // the outcome is what it showed
                       });
                       return o;
                   },
                   [](Fault f) {
                       switch (f) {
                           // The loader's block requests are bare bytes, no reply frames; late
                           // bytes are drained before the loader request.
                           case Fault::None:
                           case Fault::WrongFirstByte:
                           case Fault::WrongReplyCode:
                           case Fault::StaleBytes: return Success();
                           // A refusal where a block request belongs, or no request at all
                           // within the bound, ends the program after the load's message.
                           case Fault::Refusals:
                           case Fault::NoReply: return Says(kMsgUnableToLoadFirmware, true);
                           // The start request cannot be sent.
                           case Fault::LineClosed:
                           case Fault::Unplugged: return LostBoard();
                       }
                       return Success();
                   },
                   40000});
    for (bool replyWords : {false, true}) {
        ops.push_back({replyWords ? "Kernlet load, verified by reply words"
                                  : "Kernlet load, verified by checksum registers",
                       [replyWords](Fault f) {
                           const TempFolder folder(replyWords ? "tr805q-faults-klw" : "tr805q-faults-klr");
                           const fs::path& dir = folder.Path();
                           const fs::path file = dir / "sample.txt";
                           sim::WriteKernletFile(file, sim::KernletSampleSpec{});
                           Outcome o = OnSimHost(f, [&](SimHost& h) {
                               h.kernletOptions = replyWords ? 1 : 0;
                               CKernlet page(h);
                               page.kernletPath = file.string();
                               page.OnLoad();
                           });
                           return o;
                       },
                       [](Fault f) {
                           switch (f) {
                               case Fault::None:
                               case Fault::StaleBytes: return Note("Kernlet Load");
                               // The first paced write is the first block's address, high byte.
                               case Fault::Refusals:
                                   return Says("Error - Unable to load Kernlet - WT_KL_LOAD_FAIL 6", false);
                               // The first request is the device reset, with its own text.
                               case Fault::NoReply:
                               case Fault::WrongFirstByte:
                               case Fault::LineClosed:
                               case Fault::Unplugged: return Says(kResetFailed, true);
                               case Fault::WrongReplyCode: return LostBoard();
                           }
                           return Success();
                       },
                       10000});
    }
    ops.push_back({"trace: read the first page",
                   [](Fault f) {
                       return OnSimHost(
                           f,
                           [](SimHost& h) {
                               CMTrace trace(h);
                               trace.Open();
                           },
                           [](SimHost& h) { h.simBoard.SetRegister(1, 0x20, 1); });
                   },
                   [](Fault f) { return RegisterRule(f, true); }, 3000});
    // The older file as a plain file, behind a symbolic link, or read-only.
    enum class Destination { Plain, Link, ReadOnly };
    for (const Destination d : {Destination::Plain, Destination::Link, Destination::ReadOnly}) {
        const char* name = d == Destination::Plain ? "trace: save the whole trace over an older file"
                           : d == Destination::Link
                               ? "trace: save the whole trace through a link to an older file"
                               : "trace: save the whole trace over a read-only older file";
        ops.push_back({name,
                       [d](Fault f) {
                           const TempFolder folder("tr805q-faults-trace");
                           const fs::path& dir = folder.Path();
                           const fs::path older = dir / "trace.txt";
                           std::ofstream(older) << "older trace";
                           fs::path file = older;
                           if (d == Destination::Link) {
                               file = dir / "link.txt";
                               fs::create_symlink("trace.txt", file);
                           }
                           if (d == Destination::ReadOnly) {
                               fs::permissions(older, fs::perms::owner_read | fs::perms::group_read |
                                                          fs::perms::others_read);
                           }
                           Outcome o = OnSimHost(f, [&](SimHost& h) {
                               CMTrace trace(h);
                               trace.SaveTo(file.string());
                               if (d == Destination::ReadOnly) {
                                   // Refused before the board is asked for the trace.
                                   for (const std::string& r : h.Requests()) {
                                       EXPECT_NE(r.rfind("7E 1A", 0), 0u) << Name(f) << ": " << r;
                                   }
                               }
                           });
                           // A save that did not finish leaves the older file as it was.
                           const bool failed = !o.messages.empty() || o.portFailure;
                           if (failed) {
                               EXPECT_EQ(ReadFile(older), "older trace") << Name(f);
                           } else {
                               EXPECT_EQ(ReadFile(older).rfind("Note: ", 0), 0u) << Name(f);
                           }
                           if (d == Destination::Link) {
                               EXPECT_TRUE(fs::is_symlink(file)) << Name(f);
                           }
                           return o;
                       },
                       [d](Fault f) {
                           if (d == Destination::ReadOnly) return Says(kMsgTraceUnableToSave, false);
                           return RegisterRule(f, true);
                       },
                       3000});
    }
    return ops;
}

const Fault kFaults[] = {Fault::None,       Fault::NoReply,  Fault::WrongFirstByte, Fault::WrongReplyCode,
                         Fault::StaleBytes, Fault::Refusals, Fault::LineClosed,     Fault::Unplugged};

void Check(const Operation& op, Fault f, const Outcome& o) {
    const Expected e = op.expect(f);
    SCOPED_TRACE(std::string(op.name) + " / " + Name(f));
    EXPECT_LE(o.elapsedMs, op.boundMs);
    switch (e.kind) {
        case Expected::Success:
            EXPECT_TRUE(o.messages.empty()) << o.messages.front().text;
            EXPECT_TRUE(o.quits.empty());
            EXPECT_FALSE(o.portFailure);
            break;
        case Expected::Note:
            EXPECT_FALSE(o.portFailure);
            ASSERT_EQ(o.messages.size(), 1u);
            EXPECT_EQ(o.messages[0].caption, e.text);
            EXPECT_TRUE(o.quits.empty());
            break;
        case Expected::PortDoesNotOpen:
            ASSERT_EQ(o.messages.size(), 1u);
            EXPECT_EQ(o.messages[0].text, e.text);
            EXPECT_EQ(o.messages[0].caption, kCaptionComPort);
            EXPECT_NE(o.messages[0].detail, "");
            EXPECT_EQ(o.quits, std::vector<int>{kExitCancelled});
            break;
        case Expected::LostBoard:
        case Expected::Message:
            EXPECT_FALSE(o.portFailure);
            ASSERT_FALSE(o.messages.empty());
            EXPECT_EQ(o.messages.back().text, e.text);
            EXPECT_EQ(o.messages.back().caption, kCaptionError);
            EXPECT_EQ(o.messages.back().icon, MsgIcon::Error);
            // A port that failed says why beneath the message that ends the program; an
            // operation refused before it reached the board has no port failure to tell.
            if (e.quit && (f == Fault::LineClosed || f == Fault::Unplugged)) {
                EXPECT_NE(o.messages.back().detail, "");
            }
            if (e.quit) {
                EXPECT_EQ(o.quits, std::vector<int>{kExitLostBoard});
            } else {
                EXPECT_TRUE(o.quits.empty());
            }
            break;
    }
}

TEST(FaultMatrix, EveryOperationAgainstEveryFault) {
    int cells = 0;
    for (const Operation& op : Operations()) {
        for (Fault f : kFaults) {
            Check(op, f, op.run(f));
            ++cells;
        }
    }
    std::printf("fault matrix: %d cells\n", cells);
}

}  // namespace
