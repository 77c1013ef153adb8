#include "script/DownloadFrames.h"

namespace script {

namespace {

void PutWord(Frame& f, uint16_t w) {
    f.push_back(static_cast<uint8_t>(w >> 8));
    f.push_back(static_cast<uint8_t>(w & 0xFF));
}

}  // namespace

Frame RecordFrame(uint8_t command, const ImageRecord& record) {
    Frame f{kFrameStart, command};
    f.reserve(2 + 2 * (1 + 2 * kBoardSlotCount));
    for (int i = 0; i < 1 + 2 * kBoardSlotCount; ++i) PutWord(f, record[static_cast<std::size_t>(i)]);
    return f;
}

Frame InitialiserFrame(const DataInitialiser& init) {
    Frame f{kFrameStart, kCmdInitialiser};
    PutWord(f, init.location);
    PutWord(f, init.value);
    return f;
}

ImageRecord ClosingRecord() {
    ImageRecord r{};
    r[0] = static_cast<uint16_t>(kOpStop);
    return r;
}

std::vector<Frame> BuildDownloadFrames(CScriptCompiler& compiler) {
    std::vector<Frame> frames;
    ImageRecord r;
    compiler.NextRecord(true, r);
    while (compiler.NextRecord(false, r))
        frames.push_back(RecordFrame(frames.empty() ? kCmdFirstRecord : kCmdNextRecord, r));
    if (frames.empty()) frames.push_back(RecordFrame(kCmdFirstRecord, ClosingRecord()));
    DataInitialiser init;
    compiler.NextInitialiser(true, init);
    while (compiler.NextInitialiser(false, init)) frames.push_back(InitialiserFrame(init));
    frames.push_back(RecordFrame(kCmdNextRecord, ClosingRecord()));
    compiler.NextRecord(true, r);
    compiler.NextInitialiser(true, init);
    return frames;
}

std::string FrameToHex(const Frame& frame) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string s;
    s.reserve(frame.size() * 3);
    for (std::size_t i = 0; i < frame.size(); ++i) {
        if (i) s += ' ';
        s += kDigits[frame[i] >> 4];
        s += kDigits[frame[i] & 0xF];
    }
    return s;
}

}  // namespace script
