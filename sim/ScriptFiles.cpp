#include "sim/ScriptFiles.h"

#include "sim/ScriptCodes.h"

#include <algorithm>

namespace sim {

ScriptFileReader::ScriptFileReader(std::size_t capacity) : capacity_(capacity) {}

void ScriptFileReader::Reset() {
    held_.clear();
    open_ = false;
    ended_ = false;
    requestOpen_ = false;
    announcedLeft_ = 0;
    expected_ = 0;
}

void ScriptFileReader::Open(uint32_t announced) {
    Reset();
    open_ = true;
    announcedLeft_ = announced;
}

bool ScriptFileReader::Take(uint16_t& out) {
    if (held_.empty()) return false;
    out = held_.front();
    held_.pop_front();
    return true;
}

uint32_t ScriptFileReader::RequestSize(uint32_t needed) const {
    if (!open_ || ended_ || requestOpen_ || held_.size() >= capacity_) return 0;
    const uint64_t room = capacity_ - held_.size();
    const uint64_t want = std::max(announcedLeft_, needed);
    return static_cast<uint32_t>(std::min(room, want));
}

void ScriptFileReader::Requested(uint32_t count) {
    if (count == 0) return;
    requestOpen_ = true;
    expected_ = count;
    announcedLeft_ -= std::min(announcedLeft_, count);
}

void ScriptFileReader::Block(bool last, const uint8_t* values, std::size_t byteCount) {
    if (!requestOpen_) return;
    const std::size_t count = byteCount / 2;
    for (std::size_t i = 0; i < count; ++i) {
        if (held_.size() < capacity_)
            held_.push_back(static_cast<uint16_t>((values[2 * i] << 8) | values[2 * i + 1]));
    }
    expected_ -= static_cast<uint32_t>(std::min<std::size_t>(expected_, count));
    if (last) {
        ended_ = true;
        announcedLeft_ = 0;
    }
    if (last || expected_ == 0) requestOpen_ = false;
}

void ScriptStaticBuffers::Reset() {
    memory_.clear();
    memory_.shrink_to_fit();
    buffers_.clear();
}

uint8_t ScriptStaticBuffers::Configure(uint64_t size, uint64_t count) {
    if (size == 0 || count == 0 || count > kMaxBuffers) return scriptcode::kErrStaticSpec;
    if (size * count > kTotalWords) return scriptcode::kErrStaticAllocation;
    buffers_.assign(count, Buffer{});
    for (uint32_t i = 0; i < count; ++i) {
        buffers_[i].start = static_cast<uint32_t>(i * size);
        buffers_[i].size = static_cast<uint32_t>(size);
    }
    memory_.assign(size * count, 0);
    return 0;
}

ScriptStaticBuffers::Buffer* ScriptStaticBuffers::Get(uint32_t n) {
    return n < buffers_.size() ? &buffers_[n] : nullptr;
}

}  // namespace sim
