#include "script/RunWorker.h"

#include "script/RunTexts.h"

#include <algorithm>

namespace script {

std::vector<uint8_t> BoardFrame(uint8_t command, std::initializer_list<uint16_t> words) {
    std::vector<uint8_t> f{UplinkParser::kStart, command};
    for (uint16_t w : words) {
        f.push_back(static_cast<uint8_t>(w >> 8));
        f.push_back(static_cast<uint8_t>(w));
    }
    return f;
}

CScriptWorker::CScriptWorker(CComInt& link, const CScriptCompiler& compiler, std::string scriptDirectory,
                             RunShared& shared, ScriptPoster& poster, Clock& clock)
    : link_(link),
      compiler_(compiler),
      directory_(std::move(scriptDirectory)),
      shared_(shared),
      poster_(poster),
      clock_(clock) {
    values_.reserve(kBlockValues);
}

CScriptWorker::~CScriptWorker() { CloseFiles(); }

std::string CScriptWorker::DataPath(const std::string& name) const {
    if (directory_.empty()) return name;
    if (directory_.back() == '/') return directory_ + name;
    return directory_ + '/' + name;
}

void CScriptWorker::CloseFiles() {
    readFile_.Close();
    writeFile_.Close();
}

void CScriptWorker::Run() {
    bool going = true;
    while (going && !shared_.stopRequest.load()) {
        if (read_ == fill_) {
            uint32_t queued = 0;
            if (link_.GetRxCount(queued) == 0) {
                going = LinkFailed();
                break;
            }
            if (queued > kMaxRxQueue) {
                Post(ScriptMsg::MaxRxQueue, 0, 0);
                break;
            }
            if (queued == 0) {
                clock_.SleepMs(kIdlePollMs);
                continue;
            }
            uint32_t got = 0;
            const uint8_t result =
                link_.Read(buffer_.data(), got, std::min<uint32_t>(queued, kReceiveBuffer), 0);
            fill_ = got;
            read_ = 0;
            if (result == kReadError) {
                LinkFailed();
                break;
            }
            if (read_ == fill_) continue;
        }
        going = OnByte(buffer_[read_++]);
    }
    CloseFiles();
    shared_.linkReleased.Set();
    shared_.threadEnded.Set();
}

bool CScriptWorker::OnByte(uint8_t byte) {
    if (!parser_.Feed(byte)) return true;
    return OnFrame(parser_.Frame());
}

std::string CScriptWorker::StringText(uint8_t stringIndex, uint16_t value, int mode) const {
    std::string text;
    compiler_.FormatForFile(stringIndex, value, mode, text);  // a failure leaves its error text
    return text;
}

bool CScriptWorker::OnFrame(const UplinkFrame& f) {
    switch (f.code) {
        case kUpOpenRead: return OpenReadFile(f);
        case kUpOpenWrite: return OpenWriteFile(f);
        case kUpClear: return Post(ScriptMsg::Clear, 0, 0);
        case kUpText: return Post(ScriptMsg::AddText, f.StringIndex(), f.Value());
        case kUpWriteValue: return WriteValue(f.StringIndex(), f.Value());
        case kUpMessageBox: return Post(ScriptMsg::MessageBox, f.StringIndex(), f.Value());
        case kUpReadRequest: return ServeReadRequest(f.Number(0, 4));
        case kUpEnd:
            shared_.linkReleased.Set();
            // Buffered data reaches the file only at its close: a run whose data did not all reach
            // it has not finished, whatever the board says.
            if (!writeFile_.Close()) {
                Post(ScriptMsg::FStoreError, 0, kStoreFailedAfterEnd, lastWriteName_);
                return false;
            }
            Post(ScriptMsg::End, f.Byte(0), f.Value());
            return false;
        case kUpError: {
            shared_.linkReleased.Set();
            const uint8_t code = f.Byte(0);
            std::string name = code == kErrorOpenForWriting   ? lastWriteName_
                               : code == kErrorOpenForReading ? lastReadName_
                                                              : std::string();
            Post(ScriptMsg::Error, code, f.Value(), std::move(name));
            return false;
        }
        case kUpWriteBlock: {
            if (!Send(BoardFrame(kCmdBlockWritten, {}))) return LinkFailed();
            for (size_t i = 0; i < f.BlockWords(); ++i) {
                if (!WriteValue(f.StringIndex(), f.BlockWord(i))) return false;
            }
            return true;
        }
        case kUpYesNo: return Post(ScriptMsg::MessageBoxYesNo, f.StringIndex(), f.Value());
        case kUpEntry: return Post(ScriptMsg::MessageBoxEntry, f.StringIndex(), f.Value());
        case kUpDebug: return Post(ScriptMsg::DebugText, f.Byte(0), f.Value());
        default: return true;
    }
}

bool CScriptWorker::OpenReadFile(const UplinkFrame& f) {
    readFile_.Close();
    const std::string name = StringText(f.Byte(0), 0, 1);
    const std::string path = DataPath(name);
    lastReadName_ = name;
    if (writeFile_.IsOpen() && writeFile_.Path() == path) writeFile_.Close();
    // The format is the script's string as written: only the program's own scanner reads it.
    std::string format;
    compiler_.FormatForFile(f.Byte(1), 0, 0, format);
    if (!readFile_.Open(path, format)) {
        Post(ScriptMsg::FOpenError, f.Byte(0), 0, name);
        return false;
    }
    if (!Post(ScriptMsg::Print, 0, 0, readFile_.Report())) return false;
    const uint32_t items = readFile_.ItemCount();
    if (!Send(BoardFrame(kCmdReadFileOpened,
                         {static_cast<uint16_t>(items >> 16), static_cast<uint16_t>(items)}))) {
        return LinkFailed();
    }
    return true;
}

bool CScriptWorker::OpenWriteFile(const UplinkFrame& f) {
    // A write file that cannot be closed whole has lost data: the script hears of it the way it
    // hears of any file it cannot use.
    const std::string previous = lastWriteName_;
    if (!writeFile_.Close()) {
        Post(ScriptMsg::FStoreError, 0, 0, previous);
        return false;
    }
    const std::string name = StringText(f.Byte(0), 0, 1);
    lastWriteName_ = name;
    const uint32_t rate = f.Number(1, 3);
    const uint8_t channels = f.Byte(4);
    if (!writeFile_.Create(DataPath(name), rate, channels)) {
        Post(ScriptMsg::FOpenError, f.Byte(0), 0, name);
        return false;
    }
    return true;
}

bool CScriptWorker::WriteValue(uint8_t stringIndex, uint16_t value) {
    if (!writeFile_.IsOpen()) return true;
    std::string text;
    if (writeFile_.Kind() == DataFileKind::Text) text = StringText(stringIndex, value, 1);
    if (!writeFile_.Write(value, text)) {
        Post(ScriptMsg::FStoreError, stringIndex, 0, lastWriteName_);
        return false;
    }
    return true;
}

bool CScriptWorker::ServeReadRequest(uint32_t count) {
    if (!readFile_.IsOpen()) return true;
    uint64_t remaining = count;
    bool fileEnded = false;
    for (;;) {
        values_.clear();
        uint16_t v = 0;
        while (values_.size() < kBlockValues && values_.size() < remaining) {
            if (!readFile_.Next(v)) {
                fileEnded = true;
                break;
            }
            values_.push_back(v);
        }
        if (values_.size() < kBlockValues || fileEnded) break;
        // A full block, with more to come (or an empty rest to tell that the request is served).
        std::vector<uint8_t> frame = BoardFrame(kCmdFileBlock, {static_cast<uint16_t>(2 * kBlockValues)});
        for (uint16_t w : values_) {
            frame.push_back(static_cast<uint8_t>(w >> 8));
            frame.push_back(static_cast<uint8_t>(w));
        }
        if (!Send(frame)) return LinkFailed();
        remaining -= kBlockValues;
        if (shared_.stopRequest.load()) return false;
    }
    const uint8_t command = fileEnded ? kCmdFileLastBlock : kCmdFileBlock;
    std::vector<uint8_t> frame = BoardFrame(command, {static_cast<uint16_t>(2 * values_.size())});
    for (uint16_t w : values_) {
        frame.push_back(static_cast<uint8_t>(w >> 8));
        frame.push_back(static_cast<uint8_t>(w));
    }
    if (!Send(frame)) return LinkFailed();
    return true;
}

bool CScriptWorker::Send(const std::vector<uint8_t>& frame) {
    return link_.Write(frame.data(), static_cast<uint32_t>(frame.size()), 0) == kWriteOk;
}

bool CScriptWorker::LinkFailed() {
    Post(ScriptMsg::ThreadError, 0, 0);
    return false;
}

bool CScriptWorker::Post(ScriptMsg msg, uint32_t wParam, uint32_t lParam, std::string text) {
    shared_.handOver.Reset();
    if (shared_.stopRequest.load()) return false;
    poster_.Post(ScriptPost{msg, wParam, lParam, std::move(text)});
    shared_.handOver.Wait(shared_.stopRequest);
    return !shared_.stopRequest.load();
}

}  // namespace script
