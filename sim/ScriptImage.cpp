#include "sim/ScriptImage.h"

#include "sim/ScriptCodes.h"

#include <algorithm>

namespace sim {

namespace {

uint16_t Word(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

}  // namespace

ScriptRecord ScriptRecord::FromBytes(const uint8_t* bytes) {
    ScriptRecord r;
    r.opcode = Word(bytes);
    for (int slot = 0; slot < 3; ++slot) {
        r.descriptor[slot] = Word(bytes + 2 + 4 * slot);
        r.value[slot] = Word(bytes + 4 + 4 * slot);
    }
    return r;
}

bool ScriptRecord::IsClosing() const {
    if (opcode != scriptcode::kOpStop) return false;
    for (int slot = 0; slot < 3; ++slot) {
        if (descriptor[slot] != 0 || value[slot] != 0) return false;
    }
    return true;
}

ScriptImage::ScriptImage(std::size_t maxRecords, std::size_t dataWords)
    : maxRecords_(maxRecords), data_(dataWords, 0) {
    records_.reserve(maxRecords < 64 ? maxRecords : 64);
}

void ScriptImage::Clear() {
    records_.clear();
    dropped_ = 0;
    std::fill(data_.begin(), data_.end(), uint16_t{0});
}

bool ScriptImage::Append(const ScriptRecord& record) {
    if (records_.size() >= maxRecords_) {
        ++dropped_;
        return false;
    }
    records_.push_back(record);
    return true;
}

bool ScriptImage::InData(uint32_t location, uint32_t span) const {
    return uint64_t{location} + span <= data_.size();
}

std::optional<uint16_t> ScriptImage::Data(uint32_t location) const {
    if (!InData(location)) return std::nullopt;
    return data_[location];
}

bool ScriptImage::SetData(uint32_t location, uint16_t value) {
    if (!InData(location)) return false;
    data_[location] = value;
    return true;
}

}  // namespace sim
