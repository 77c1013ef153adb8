#include "link/ComInt.h"

#include "link/Messages.h"

#include <algorithm>

namespace {

// The board's pacing bytes before each chunk of bulk data.
constexpr uint8_t kPaceSend = 0x12;
constexpr uint8_t kPaceRefused = 0x11;
// The count byte that announces a chunk holds at most this many.
constexpr uint32_t kMaxChunk = 255;

}  // namespace

uint8_t CComInt::Write(const uint8_t* data, uint32_t length, uint8_t handshake) {
    // The paced chunk's pacing byte, count and data are one exchange: nobody writes between.
    std::lock_guard lock(writeTurn_);
    try {
        return WriteFrame(data, length, handshake);
    } catch (const CSerialException& e) {
        NoteFailure(e);
        return kWriteFailed;
    }
}

void CComInt::TurnLock::lock() {
    std::unique_lock lock(mutex_);
    const uint64_t ticket = next_++;
    turn_.wait(lock, [&] { return serving_ == ticket; });
}

void CComInt::TurnLock::unlock() {
    {
        std::lock_guard lock(mutex_);
        ++serving_;
    }
    turn_.notify_all();
}

void CComInt::NoteFailure(const CSerialException& e) {
    std::string text = PortFailureText(e);
    std::lock_guard lock(failureMutex_);
    lastFailure_ = std::move(text);
}

std::string CComInt::LastPortFailure() const {
    std::lock_guard lock(failureMutex_);
    return lastFailure_;
}

uint8_t CComInt::WriteFrame(const uint8_t* data, uint32_t length, uint8_t handshake) {
    if (handshake == 0) {
        size_t written = port_.Write(data, length);
        port_.Flush();
        return written == length ? kWriteOk : kWriteFailed;
    }

    // A longer chunk cannot be announced in one count byte: the board would take the wrong
    // number of bytes and the rest of the transfer would be garbage. Refuse it before the
    // board is even asked.
    if (length > kMaxChunk) return kWriteFailed;

    uint8_t pace = 0;
    if (port_.Read(&pace, 1) != 1) return kWriteFailed;
    if (pace == kPaceRefused) return kWriteRefused;
    if (pace != kPaceSend) return kWriteFailed;

    const uint8_t count = static_cast<uint8_t>(length);
    size_t written = port_.Write(&count, 1);
    port_.Flush();
    if (written != 1) return kWriteFailed;
    if (length == 0) return kWriteOk;
    written = port_.Write(data, length);
    port_.Flush();
    return written == length ? kWriteOk : kWriteFailed;
}

uint8_t CComInt::Read(uint8_t* buffer, uint32_t& got, uint32_t n, uint8_t wait) {
    got = 0;
    try {
        if (wait != 0) {
            got = static_cast<uint32_t>(port_.Read(buffer, n));
            return got == n ? kReadAll : kReadShort;
        }
        if (port_.GetStatus().inQueue < n) return kReadNotQueued;
        got = static_cast<uint32_t>(port_.Read(buffer, n));
        return got == n ? kReadAll : kReadError;
    } catch (const CSerialException& e) {
        NoteFailure(e);
        return kReadError;
    }
}

void CComInt::DiscardReceived(uint32_t maxBytes) {
    uint8_t scrap[256];
    for (uint32_t discarded = 0; discarded < maxBytes;) {
        uint32_t queued = 0;
        if (GetRxCount(queued) == 0 || queued == 0) return;
        uint32_t got = 0;
        const uint32_t n =
            std::min<uint32_t>({queued, static_cast<uint32_t>(sizeof scrap), maxBytes - discarded});
        if (Read(scrap, got, n, 0) != kReadAll) return;
        discarded += got;
    }
}

uint8_t CComInt::GetRxCount(uint32_t& n) {
    n = 0;
    try {
        n = port_.GetStatus().inQueue;
        return 1;
    } catch (const CSerialException& e) {
        NoteFailure(e);
        return 0;
    }
}
