#include "tests/link/BoardFixture.h"

#include <functional>

namespace {

using BoardProtocol = BoardOnScriptedLine;

// One operation, the request it must send (as in the protocol table), the board's reply, and a
// check of what the operation made of the reply.
struct OperationCase {
    const char* name;
    const char* request;
    const char* reply;
    std::function<bool(CMB805QBrd&)> run;
};

const OperationCase kOperations[] = {
    {"ResetDevice", "7E 01 02", "7E", [](CMB805QBrd& b) { return b.ResetDevice(2); }},
    {"WriteReg8", "7E 02 20 AB 01", "7E", [](CMB805QBrd& b) { return b.WriteReg8(0x20, 0xAB, 1); }},
    {"WriteReg16", "7E 03 20 12 34 02", "7E", [](CMB805QBrd& b) { return b.WriteReg16(0x20, 0x1234, 2); }},
    {"ReadReg8", "7E 04 31 03", "7E 13 5A",
     [](CMB805QBrd& b) {
         uint8_t v = 0;
         bool ok = b.ReadReg8(0x31, v, 3);
         EXPECT_EQ(v, 0x5A);
         return ok;
     }},
    {"ReadReg16", "7E 05 FF 01", "7E 14 BE EF",
     [](CMB805QBrd& b) {
         uint16_t v = 0;
         bool ok = b.ReadReg16(0xFF, v, 1);
         EXPECT_EQ(v, 0xBEEF);
         return ok;
     }},
    {"GetBoardInfo", "7E 0F", "7E 0F 07 02 04 10 00 00 01 02 03 A0 B0 C0 D0 05",
     [](CMB805QBrd& b) {
         BoardInfo i;
         bool ok = b.GetBoardInfo(i);
         EXPECT_EQ(i.boardType, 0x07);
         EXPECT_EQ(i.versionMajor, 2);
         EXPECT_EQ(i.versionMinor, 4);
         EXPECT_EQ(i.commandBufferSize, 0x1000);
         EXPECT_EQ(i.dataBufferSize, 0x00010203u);
         EXPECT_EQ(i.fileBufferSize, 0xA0B0C0D0u);
         EXPECT_EQ(i.kernletOptions, 0x05);
         return ok;
     }},
    {"BeginKernletLoad", "7E 15 03", "7E", [](CMB805QBrd& b) { return b.BeginKernletLoad(3); }},
    {"GetScriptStatus", "7E 19", "7E 16",
     [](CMB805QBrd& b) {
         uint8_t s = 9;
         bool ok = b.GetScriptStatus(s);
         EXPECT_EQ(s, 1);
         return ok;
     }},
    {"ReadTrace", "7E 1A 01 02 03 04 08 00", "7E 15",
     [](CMB805QBrd& b) {
         std::vector<TraceRecord> r(2048);
         uint32_t count = 5;
         bool ok = b.ReadTrace(0x01020304, 2048, r.data(), count);
         EXPECT_EQ(count, 0u);
         return ok;
     }},
    {"BeginFirmwareDownload", "7E 39 2A", "", [](CMB805QBrd& b) { return b.BeginFirmwareDownload(42); }},
    {"StartFirmwareLoader", "7E 40 5D 2E 91 C3 48 00 00", "",
     [](CMB805QBrd& b) { return b.StartFirmwareLoader(); }},
    {"GetFirmwareVersion", "7E 41 00", "7E 42 99 03 01 02 DE AD BE EF",
     [](CMB805QBrd& b) {
         FirmwareVersion v;
         bool ok = b.GetFirmwareVersion(v);
         EXPECT_EQ(v.firmwareKind, 3);
         EXPECT_EQ(v.versionMajor, 1);
         EXPECT_EQ(v.versionMinor, 2);
         EXPECT_EQ(v.firmwareWord, 0xDEADBEEFu);
         return ok;
     }},
    {"GetFirmwareCode", "7E 43 00", "7E 44 99 00 00 08 05",
     [](CMB805QBrd& b) {
         FirmwareCode c = 0;
         bool ok = b.GetFirmwareCode(c);
         EXPECT_EQ(c, 0x805u);
         return ok;
     }},
};

TEST_F(BoardProtocol, EveryRequestIsSentByteExactInOneWrite) {
    for (const OperationCase& c : kOperations) {
        SCOPED_TRACE(c.name);
        FakeClock caseClock;
        ScriptedLine caseLine{caseClock};
        RecordingPrompts casePrompts;
        RecordingProgress caseProgress;
        CMB805QBrd caseBoard{caseClock, casePrompts, caseProgress};
        OpenScripted(caseBoard.Link().Port(), caseLine);
        caseLine.Expect(c.request, c.reply);

        EXPECT_TRUE(c.run(caseBoard));
        ASSERT_EQ(caseLine.writes.size(), 1u);
        EXPECT_EQ(ToHex(caseLine.writes[0]), c.request);
        EXPECT_EQ(caseLine.flushes, 1);
        EXPECT_TRUE(caseLine.rx.empty()) << "the whole reply is read";
        for (size_t n : caseLine.readSizes) EXPECT_EQ(n, 1u) << "replies are read byte by byte";
        EXPECT_TRUE(casePrompts.messages.empty());
        EXPECT_EQ(caseClock.NowMs(), 0u) << "no read waited";
    }
}

// Replies that must fail the operation, and leave its result untouched.
struct BadReplyCase {
    const char* name;
    const char* request;
    const char* reply;
    std::function<bool(CMB805QBrd&)> run;
};

bool ReadReg8Untouched(CMB805QBrd& b) {
    uint8_t v = 0xAA;
    bool ok = b.ReadReg8(0x31, v, 3);
    EXPECT_EQ(v, 0xAA);
    return ok;
}
bool ReadReg16Untouched(CMB805QBrd& b) {
    uint16_t v = 0xAAAA;
    bool ok = b.ReadReg16(0x20, v, 1);
    EXPECT_EQ(v, 0xAAAA);
    return ok;
}
bool BoardInfoUntouched(CMB805QBrd& b) {
    BoardInfo i;
    i.boardType = 0xAA;
    bool ok = b.GetBoardInfo(i);
    EXPECT_EQ(i.boardType, 0xAA);
    EXPECT_EQ(i.versionMajor, 0);
    return ok;
}
bool FirmwareVersionUntouched(CMB805QBrd& b) {
    FirmwareVersion v;
    bool ok = b.GetFirmwareVersion(v);
    EXPECT_EQ(v.firmwareKind, 0);
    return ok;
}
bool FirmwareCodeUntouched(CMB805QBrd& b) {
    FirmwareCode c = 0xAAAA;
    bool ok = b.GetFirmwareCode(c);
    EXPECT_EQ(c, 0xAAAAu);
    return ok;
}
bool ScriptStatusUntouched(CMB805QBrd& b) {
    uint8_t s = 9;
    bool ok = b.GetScriptStatus(s);
    EXPECT_EQ(s, 9);
    return ok;
}

const BadReplyCase kBadReplies[] = {
    {"reset, wrong first byte", "7E 01 01", "7F", [](CMB805QBrd& b) { return b.ResetDevice(1); }},
    {"reset, no reply", "7E 01 01", "", [](CMB805QBrd& b) { return b.ResetDevice(1); }},
    {"write8, wrong first byte", "7E 02 20 01 01", "13",
     [](CMB805QBrd& b) { return b.WriteReg8(0x20, 1, 1); }},
    {"write16, no reply", "7E 03 20 00 01 01", "", [](CMB805QBrd& b) { return b.WriteReg16(0x20, 1, 1); }},
    {"kernlet load, wrong first byte", "7E 15 01", "7F", [](CMB805QBrd& b) { return b.BeginKernletLoad(1); }},
    {"read8, wrong first byte", "7E 04 31 03", "7F 13 5A", ReadReg8Untouched},
    {"read8, reply code of read16", "7E 04 31 03", "7E 14 5A", ReadReg8Untouched},
    {"read8, value missing", "7E 04 31 03", "7E 13", ReadReg8Untouched},
    {"read16, reply code of read8", "7E 05 20 01", "7E 13 12 34", ReadReg16Untouched},
    {"read16, low byte missing", "7E 05 20 01", "7E 14 12", ReadReg16Untouched},
    {"board info, one byte short", "7E 0F", "7E 0F 07 02 04 10 00 00 01 02 03 A0 B0 C0 D0",
     BoardInfoUntouched},
    {"board info, wrong reply code", "7E 0F", "7E 10 07 02 04 10 00 00 01 02 03 A0 B0 C0 D0 05",
     BoardInfoUntouched},
    {"firmware version, code of firmware code", "7E 41 00", "7E 44 99 03 01 02 DE AD BE EF",
     FirmwareVersionUntouched},
    {"firmware version, short", "7E 41 00", "7E 42 99 03 01 02 DE AD BE", FirmwareVersionUntouched},
    {"firmware code, code of firmware version", "7E 43 00", "7E 42 99 00 00 08 05", FirmwareCodeUntouched},
    {"firmware code, skipped byte only", "7E 43 00", "7E 44 99", FirmwareCodeUntouched},
    {"script status, other code", "7E 19", "7E 14", ScriptStatusUntouched},
    {"script status, trace record code", "7E 19", "7E 17", ScriptStatusUntouched},
    {"script status, wrong first byte", "7E 19", "7F 16", ScriptStatusUntouched},
    {"script status, code missing", "7E 19", "7E", ScriptStatusUntouched},
};

TEST_F(BoardProtocol, RepliesThatDoNotFitFail) {
    for (const BadReplyCase& c : kBadReplies) {
        SCOPED_TRACE(c.name);
        FakeClock caseClock;
        ScriptedLine caseLine{caseClock};
        RecordingPrompts casePrompts;
        RecordingProgress caseProgress;
        CMB805QBrd caseBoard{caseClock, casePrompts, caseProgress};
        OpenScripted(caseBoard.Link().Port(), caseLine);
        caseLine.Expect(c.request, c.reply);

        EXPECT_FALSE(c.run(caseBoard));
        EXPECT_TRUE(casePrompts.messages.empty()) << "operations show nothing themselves";
        EXPECT_FALSE(casePrompts.QuitPosted());
    }
}

TEST_F(BoardProtocol, ScriptStatusCleared) {
    line.Expect("7E 19", "7E 15");
    uint8_t status = 9;
    EXPECT_TRUE(board.GetScriptStatus(status));
    EXPECT_EQ(status, 0);
}

TEST_F(BoardProtocol, LateAnswerIsDrainedBeforeTheNextRequest) {
    // The board answers the first read too late: the request fails, and its answer must not
    // be taken for the answer to the next one.
    line.Expect("7E 04 31 01", "");
    uint8_t v8 = 0;
    EXPECT_FALSE(board.ReadReg8(0x31, v8, 1));
    line.Queue(Hex("7E 13 99"));

    line.Expect("7E 05 20 01", "7E 14 12 34");
    uint16_t v16 = 0;
    EXPECT_TRUE(board.ReadReg16(0x20, v16, 1));
    EXPECT_EQ(v16, 0x1234);
    ASSERT_EQ(line.queuedAtWrite.size(), 2u);
    EXPECT_EQ(line.queuedAtWrite[1], 0u) << "stale bytes were removed before the request";
}

TEST_F(BoardProtocol, DrainEndsOnPortErrorAndTheRequestStillGoesOut) {
    line.failStatus = true;  // the drain's queue count fails: it stops, the request is sent
    line.Expect("7E 01 01", "7E");
    EXPECT_TRUE(board.ResetDevice(1));
    EXPECT_EQ(ToHex(line.written), "7E 01 01");
}

TEST_F(BoardProtocol, FailedRequestWriteFailsWithoutReading) {
    line.writeLimit = 2;
    EXPECT_FALSE(board.WriteReg16(0x20, 0x1234, 1));
    EXPECT_TRUE(line.readSizes.empty());
}

TEST_F(BoardProtocol, PortFailureOnWriteFailsTheOperation) {
    line.failWrites = true;
    EXPECT_FALSE(board.ResetDevice(1));
}

// Trace records: 7E 17, then device, direction, address, data (2), bytes per access, access
// count, access number, timestamp (4).
constexpr const char* kRecordA = "7E 17 01 00 20 12 34 02 03 04 00 01 02 03";
constexpr const char* kRecordB = "7E 17 03 01 FF AB CD 01 01 00 FF FE FD FC";

struct TraceCase {
    const char* name;
    uint16_t maxCount;
    std::string reply;
    bool ok;
    uint32_t count;
    size_t left;  // reply bytes the board sent that stay unread
};

TEST_F(BoardProtocol, ReadTrace) {
    const TraceCase cases[] = {
        {"no records", 4, "7E 15", true, 0, 0},
        {"fewer than asked for", 4, std::string(kRecordA) + " " + kRecordB + " 7E 15", true, 2, 0},
        {"exactly as many as asked for", 2, std::string(kRecordA) + " " + kRecordB + " 7E 15", true, 2, 2},
        {"unknown code after a record", 4, std::string(kRecordA) + " 7E 18", false, 1, 0},
        {"second record cut short", 4, std::string(kRecordA) + " 7E 17 03 01 FF", false, 1, 0},
        {"wrong first byte", 4, "7F 15", false, 0, 1},
        {"silent board", 4, "", false, 0, 0},
        {"none asked for", 0, "7E 15", true, 0, 2},
    };
    for (const TraceCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeClock caseClock;
        ScriptedLine caseLine{caseClock};
        RecordingPrompts casePrompts;
        RecordingProgress caseProgress;
        CMB805QBrd caseBoard{caseClock, casePrompts, caseProgress};
        OpenScripted(caseBoard.Link().Port(), caseLine);
        char request[64];
        std::snprintf(request, sizeof request, "7E 1A 00 00 00 10 %02X %02X", c.maxCount >> 8,
                      c.maxCount & 0xFF);
        caseLine.Expect(request, c.reply);

        TraceRecord records[5];
        records[c.count].device = 0xEE;  // the slot after the last record stays untouched
        uint32_t count = 77;
        EXPECT_EQ(caseBoard.ReadTrace(0x10, c.maxCount, records, count), c.ok);
        EXPECT_EQ(count, c.count);
        EXPECT_EQ(caseLine.rx.size(), c.left);
        EXPECT_EQ(records[c.count].device, 0xEE);
        if (c.count >= 1) {
            const TraceRecord& a = records[0];
            EXPECT_EQ(a.device, 1);
            EXPECT_EQ(a.direction, 0);
            EXPECT_EQ(a.address, 0x20);
            EXPECT_EQ(a.data, 0x1234);
            EXPECT_EQ(a.bytesPerAccess, 2);
            EXPECT_EQ(a.accessCount, 3);
            EXPECT_EQ(a.accessNumber, 4);
            EXPECT_EQ(a.timestamp, 0x00010203u);
        }
        if (c.count >= 2) {
            const TraceRecord& b = records[1];
            EXPECT_EQ(b.device, 3);
            EXPECT_EQ(b.direction, 1);
            EXPECT_EQ(b.address, 0xFF);
            EXPECT_EQ(b.data, 0xABCD);
            EXPECT_EQ(b.accessNumber, 0);
            EXPECT_EQ(b.timestamp, 0xFFFEFDFCu);
        }
    }
}

}  // namespace
