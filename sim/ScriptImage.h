#pragma once
// What the board holds of a downloaded script: the command records as they arrived and the
// data memory of 16-bit words that the records address. Both are bounded: records past the
// command buffer are dropped (the script can never reach them: running into them is "PC out of
// range", jumping to them an invalid jump), data locations past the data memory are out of
// range for every access.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace sim {

// One command record on the board: the opcode and three parameters, each a descriptor (kind in
// bits 0-3, the descriptor extension in bits 4-15) and a value.
struct ScriptRecord {
    uint16_t opcode = 0;
    uint16_t descriptor[3] = {};
    uint16_t value[3] = {};

    int Kind(int slot) const { return descriptor[slot] & 0xF; }
    // Index variable's location (kinds 3-5); for a long constant, bits 16..23 of the number
    // sit in bits 4..11 of it.
    uint16_t Extension(int slot) const { return static_cast<uint16_t>(descriptor[slot] >> 4); }

    // From the 14 bytes of a record frame: seven words, high byte first.
    static ScriptRecord FromBytes(const uint8_t* bytes);
    // The record that closes every download: `stop` with every other word 0. A compiled
    // `stop` differs (its first parameter slot marks the end of the parameters).
    bool IsClosing() const;
};

class ScriptImage {
public:
    ScriptImage(std::size_t maxRecords, std::size_t dataWords);

    // A new image: no records, every data word 0.
    void Clear();
    // False when the command buffer is full (the record is dropped).
    bool Append(const ScriptRecord& record);
    std::size_t RecordCount() const { return records_.size(); }
    const ScriptRecord& At(std::size_t index) const { return records_[index]; }
    // How many records did not fit since the last Clear.
    std::size_t DroppedRecords() const { return dropped_; }

    std::size_t DataWords() const { return data_.size(); }
    bool InData(uint32_t location, uint32_t span = 1) const;
    std::optional<uint16_t> Data(uint32_t location) const;
    // False (and nothing written) outside the data memory.
    bool SetData(uint32_t location, uint16_t value);

private:
    std::size_t maxRecords_;
    std::vector<ScriptRecord> records_;
    std::vector<uint16_t> data_;
    std::size_t dropped_ = 0;
};

}  // namespace sim
