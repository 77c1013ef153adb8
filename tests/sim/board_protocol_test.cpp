// The simulated board's answers to every request, byte for byte, and its parser's handling of
// split, unknown and broken input.
#include "tests/sim/BoardTestSupport.h"

#include <gtest/gtest.h>

using namespace simtest;

namespace {

struct Step {
    std::string request;
    std::string reply;
};

struct ProtocolCase {
    const char* name;
    std::vector<Step> steps;
};

// Each case runs on a fresh board with the default configuration.
const std::vector<ProtocolCase> kProtocolCases = {
    {"16-bit write then read back", {{"7E 03 20 12 34 02", "7E"}, {"7E 05 20 02", "7E 14 12 34"}}},
    {"8-bit write keeps the high byte, 8-bit read gives the low byte",
     {{"7E 03 10 AB CD 01", "7E"},
      {"7E 02 10 5A 01", "7E"},
      {"7E 05 10 01", "7E 14 AB 5A"},
      {"7E 04 10 01", "7E 13 5A"}}},
    {"devices keep separate registers",
     {{"7E 03 20 12 34 01", "7E"},
      {"7E 05 20 02", "7E 14 00 00"},
      {"7E 05 20 03", "7E 14 00 00"},
      {"7E 05 20 01", "7E 14 12 34"}}},
    {"reset sets the device's registers back and leaves the others",
     {{"7E 03 C6 FF FF 01", "7E"},
      {"7E 03 05 00 07 02", "7E"},
      {"7E 01 01", "7E"},
      {"7E 05 C6 01", "7E 14 00 00"},
      {"7E 05 05 02", "7E 14 00 07"}}},
    {"a device number outside 1..3 reads an idle bus",
     {{"7E 03 20 12 34 00", "7E"},
      {"7E 05 20 00", "7E 14 FF FF"},
      {"7E 04 20 04", "7E 13 FF"},
      {"7E 01 09", "7E"}}},
    {"board information", {{"7E 0F", "7E 0F 01 02 04 10 00 00 00 20 00 00 00 10 00 00"}}},
    {"firmware version with its skipped byte", {{"7E 41 00", "7E 42 07 02 01 00 00 00 00 00"}}},
    {"firmware code with its skipped byte", {{"7E 43 00", "7E 44 04 00 00 08 05"}}},
    {"script status clear", {{"7E 19", "7E 15"}}},
    {"empty trace", {{"7E 1A 00 00 00 00 08 00", "7E 15"}}},
    {"firmware download outside the loader is ignored", {{"7E 39 02", ""}, {"7E 05 00 01", "7E 14 00 00"}}},
    {"loader request with a wrong magic byte is ignored",
     {{"7E 40 5D 2E 91 C3 49 00 00", ""}, {"7E 0F", "7E 0F 01 02 04 10 00 00 00 20 00 00 00 10 00 00"}}},
    {"the loader answers nothing but its own requests",
     {{"7E 40 5D 2E 91 C3 48 00 00", ""}, {"7E 0F", ""}, {"7E 05 20 01", ""}, {"7E 41 00", ""}}},
    {"bytes outside a request are ignored", {{"00 55 12 7E 05 20 01", "7E 14 00 00"}}},
    {"an unknown command is dropped with the bytes up to the next 0x7E",
     {{"7E 77 05 20 01", ""}, {"7E 99 7E 05 20 01", "7E 14 00 00"}}},
    {"a second 0x7E restarts the request", {{"7E 7E 05 20 01", "7E 14 00 00"}}},
    {"argument bytes equal to 0x7E are arguments",
     {{"7E 03 7E 7E 7E 01", "7E"}, {"7E 05 7E 01", "7E 14 7E 7E"}}},
};

TEST(BoardProtocol, AnswersEachRequestWithItsDocumentedFrame) {
    for (const ProtocolCase& c : kProtocolCases) {
        SCOPED_TRACE(c.name);
        sim::Board board;
        for (const Step& s : c.steps) {
            EXPECT_EQ(Exchange(board, s.request), s.reply) << "request " << s.request;
        }
    }
}

// The same cases with every request cut into pieces: byte by byte, and in two at each place.
TEST(BoardProtocol, RequestsSplitAcrossReceiveCallsGiveTheSameAnswers) {
    for (const ProtocolCase& c : kProtocolCases) {
        SCOPED_TRACE(c.name);
        for (size_t cut = 0; cut <= 9; ++cut) {
            sim::Board board;
            for (const Step& s : c.steps) {
                const Bytes request = Hex(s.request);
                if (cut == 0) {
                    for (uint8_t b : request) board.Receive(&b, 1);
                } else {
                    const size_t first = std::min(cut, request.size());
                    board.Receive(request.data(), first);
                    EXPECT_TRUE(first == request.size() || !s.reply.empty() || board.Available() == 0);
                    board.Receive(request.data() + first, request.size() - first);
                }
                EXPECT_EQ(ToHex(TakeAll(board)), s.reply) << "request " << s.request << " cut " << cut;
            }
        }
    }
}

TEST(BoardProtocol, NothingIsAnsweredBeforeTheLastByteOfARequest) {
    sim::Board board;
    const Bytes request = Hex("7E 1A 00 00 00 00 00 01");
    for (size_t i = 0; i + 1 < request.size(); ++i) {
        board.Receive(&request[i], 1);
        EXPECT_EQ(board.Available(), 0u) << "after byte " << i;
    }
    board.Receive(&request.back(), 1);
    EXPECT_EQ(ToHex(TakeAll(board)), "7E 15");
}

TEST(BoardProtocol, ConfigurationAndScriptStatusShowInTheReplies) {
    sim::BoardConfig config;
    config.boardType = 0xA1;
    config.versionMajor = 3;
    config.versionMinor = 9;
    config.commandBufferSize = 0x1234;
    config.dataBufferSize = 0x01020304;
    config.fileBufferSize = 0xA0B0C0D0;
    config.kernletOptions = 0x06;
    config.firmwareKind = 3;
    config.firmwareMajor = 0x0A;
    config.firmwareMinor = 0xFF;
    config.firmwareWord = 0xDEADBEEF;
    config.firmwareCode = 0x12345678;
    sim::Board board(config);
    EXPECT_EQ(Exchange(board, "7E 0F"), "7E 0F A1 03 09 12 34 01 02 03 04 A0 B0 C0 D0 06");
    EXPECT_EQ(Exchange(board, "7E 41 00"), "7E 42 07 03 0A FF DE AD BE EF");
    EXPECT_EQ(Exchange(board, "7E 43 00"), "7E 44 04 12 34 56 78");
    board.SetScriptStatus(1);
    EXPECT_EQ(Exchange(board, "7E 19"), "7E 16");
    board.SetScriptStatus(0);
    EXPECT_EQ(Exchange(board, "7E 19"), "7E 15");
}

TEST(BoardProtocol, RequestLogHasOneUpperCaseLinePerRequest) {
    sim::Board board;
    std::vector<std::string> log;
    std::vector<std::string> logged;
    board.SetRequestLog(&log);
    board.SetRequestLogger([&](const std::string& line) { logged.push_back(line); });
    Send(board, Hex("7E 03 20 12 34 02 55 7E 0F 7E AB 7E 05 2A"));
    Send(board, Hex("01"));
    const std::vector<std::string> expected = {"7E 03 20 12 34 02", "7E 0F", "7E AB", "7E 05 2A 01"};
    EXPECT_EQ(log, expected);
    EXPECT_EQ(logged, expected);
}

TEST(BoardProtocol, UnfinishedRequestIsForgottenAfterTwoSecondsOfSilence) {
    sim::Board board;
    Send(board, Hex("7E 03 20 12"));
    board.AdvanceTime(sim::Board::kAbandonMicroseconds - 1);
    Send(board, Hex("34 02"));
    EXPECT_EQ(ToHex(TakeAll(board)), "7E");  // still within the time: the request completes

    Send(board, Hex("7E 03 20 56"));
    board.AdvanceTime(sim::Board::kAbandonMicroseconds);
    // The rest arrives too late and is junk; the next whole request is answered.
    EXPECT_EQ(Exchange(board, "78 02 7E 05 20 02"), "7E 14 12 34");
}

// --- faults ---

struct FaultCase {
    const char* name;
    void (*arm)(sim::Faults&);
    std::vector<Step> steps;
};

const std::vector<FaultCase> kFaultCases = {
    {"no reply: requests are neither answered nor carried out",
     [](sim::Faults& f) { f.noReply = true; },
     {{"7E 03 20 12 34 01", ""}, {"7E 05 20 01", ""}, {"7E 0F", ""}, {"7E 15 01", ""}}},
    {"wrong first byte in acknowledgements, data replies and trace records",
     [](sim::Faults& f) { f.wrongFirstByte = true; },
     {{"7E 03 20 12 34 01", "7F"},
      {"7E 05 20 01", "7F 14 12 34"},
      {"7E 19", "7F 15"},
      {"7E 1A 00 00 00 00 00 01", "7F 17 01 01 20 12 34 02 01 01 00 00 00 00"}}},
    {"wrong reply code never gives another valid code",
     [](sim::Faults& f) { f.wrongReplyCode = true; },
     {{"7E 03 20 12 34 01", "7E"},
      {"7E 04 20 01", "7E 93 34"},
      {"7E 05 20 01", "7E 94 12 34"},
      {"7E 19", "7E 95"},
      {"7E 43 00", "7E C4 04 00 00 08 05"},
      {"7E 1A 00 00 00 00 00 05",
       "7E 97 01 01 20 12 34 02 01 01 00 00 00 00 7E 97 01 01 20 00 34 01 01 01 00 00 00 00 7E 97 01 00 20 "
       "12 34 02 01 01 00 00 00 00 7E 95"}}},
    {"stale bytes follow each exchange",
     [](sim::Faults& f) { f.staleBytes = 6; },
     {{"7E 05 20 01", "7E 14 00 00 7E 14 A5 5A 7E 14"}, {"7E 01 01", "7E 7E 14 A5 5A 7E 14"}}},
    {"stale bytes never come between a load acknowledgement and its pacing byte",
     [](sim::Faults& f) { f.staleBytes = 2; },
     {{"7E 15 01", "7E 12"}}},
};

TEST(BoardFaults, EachFaultChangesTheRepliesAsDocumented) {
    for (const FaultCase& c : kFaultCases) {
        SCOPED_TRACE(c.name);
        sim::Board board;
        c.arm(board.faults());
        for (const Step& s : c.steps)
            EXPECT_EQ(Exchange(board, s.request), s.reply) << "request " << s.request;
    }
}

TEST(BoardFaults, NoReplyLeavesTheRegistersAlone) {
    sim::Board board;
    board.faults().noReply = true;
    Send(board, Hex("7E 03 20 12 34 01"));
    EXPECT_EQ(board.Register(1, 0x20), 0);
    EXPECT_EQ(board.TraceSize(), 0u);
}

TEST(BoardFaults, LineClosesAfterTheGivenNumberOfBytes) {
    struct Case {
        long closeAfter;
        size_t taken;  // bytes of "7E 05 20 01 7E 0F" the board takes
        bool regWritten;  // whether the first request (a write) was carried out
    };
    const Case cases[] = {{0, 0, false}, {3, 3, false}, {6, 6, true}, {7, 7, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.closeAfter);
        sim::Board board;
        board.faults().closeAfterBytes = c.closeAfter;
        const Bytes bytes = Hex("7E 03 20 12 34 01 7E 0F");
        EXPECT_EQ(board.LineClosed(), c.closeAfter == 0);
        EXPECT_EQ(board.Receive(bytes.data(), bytes.size()), c.taken);
        EXPECT_TRUE(board.LineClosed());
        EXPECT_EQ(board.Available(), 0u);  // an answer due at the moment of closing is lost
        EXPECT_EQ(board.Register(1, 0x20) == 0x1234, c.regWritten);
        EXPECT_EQ(board.Receive(bytes.data(), bytes.size()), 0u);
    }
}

}  // namespace
