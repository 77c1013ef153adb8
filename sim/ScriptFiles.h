#pragma once
// The board's side of a script's data files and its static buffers.
//
// ScriptFileReader: the values of the PC's read file come in blocks that the board asks for
// (uplink code 11) and keeps in its file read buffer until the script takes them. It knows how
// many values the PC announced when the file opened, how many it asked for and not yet
// received, and whether the PC reported the end of the file.
//
// ScriptStaticBuffers: a fixed memory that `bufcfg` divides into equal buffers, each read or
// written from its start through a position of its own.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace sim {

class ScriptFileReader {
public:
    explicit ScriptFileReader(std::size_t capacity);

    // No read file: nothing held, nothing asked for.
    void Reset();
    // The PC opened the read file and announced this many values.
    void Open(uint32_t announced);
    bool IsOpen() const { return open_; }
    std::size_t Capacity() const { return capacity_; }
    std::size_t Held() const { return held_.size(); }
    // The oldest value held; false when none is.
    bool Take(uint16_t& out);

    // A request is out and not yet fully served.
    bool Awaiting() const { return requestOpen_; }
    // How many values to ask for when `needed` more are wanted: as many as the buffer can take,
    // or fewer when the PC announced fewer, but never fewer than needed (the PC then says where
    // the file ends). 0 when no file is open, its end was reported, or a request is out.
    uint32_t RequestSize(uint32_t needed) const;
    void Requested(uint32_t count);
    // A block of values (byte count, then the values high byte first; an odd last byte is no
    // value). Values beyond the buffer and blocks that nobody asked for are dropped. `last`: the
    // file ended before the request was served.
    void Block(bool last, const uint8_t* values, std::size_t byteCount);

    bool Ended() const { return ended_; }
    // Values the script may still read as far as the board knows: those held and those
    // announced but not yet asked for.
    uint64_t ValuesLeft() const { return held_.size() + announcedLeft_; }

private:
    std::size_t capacity_;
    std::deque<uint16_t> held_;
    bool open_ = false;
    bool ended_ = false;
    bool requestOpen_ = false;
    uint32_t announcedLeft_ = 0;  // announced values not yet asked for
    uint32_t expected_ = 0;  // values of the open request still to come
};

class ScriptStaticBuffers {
public:
    static constexpr uint32_t kTotalWords = 65536;
    static constexpr uint32_t kMaxBuffers = 16;

    enum class Mode { Closed, Reading, Writing };
    struct Buffer {
        uint32_t start = 0;  // first word in the static memory
        uint32_t size = 0;  // words
        uint32_t fill = 0;  // words written since it was last opened for writing
        uint32_t position = 0;  // next word to read or write
        Mode mode = Mode::Closed;
    };

    // No buffers configured.
    void Reset();
    // count buffers of size words each. Returns 0, or the run-time error code: an allocation
    // beyond the static memory, or a size or count of 0 or more buffers than the board has.
    uint8_t Configure(uint64_t size, uint64_t count);
    // Buffer n, or nothing when it is not configured.
    Buffer* Get(uint32_t n);
    uint16_t ReadWord(const Buffer& b, uint32_t offset) const { return memory_[b.start + offset]; }
    void WriteWord(const Buffer& b, uint32_t offset, uint16_t v) { memory_[b.start + offset] = v; }

private:
    std::vector<uint16_t> memory_;
    std::vector<Buffer> buffers_;
};

}  // namespace sim
