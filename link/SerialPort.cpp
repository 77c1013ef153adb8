#include "link/SerialPort.h"

#include "link/PortTable.h"

#include <cerrno>
#include <cstring>
#include <utility>

namespace {

// strerror_r comes in two forms: glibc's returns the text, POSIX's fills the buffer.
[[maybe_unused]] const char* ErrorText(int result, const char* buffer) {
    return result == 0 ? buffer : nullptr;
}
[[maybe_unused]] const char* ErrorText(const char* result, const char*) { return result; }

// The system's own text for an error code; empty when it has none.
std::string SystemErrorText(uint32_t code) {
    if (code == 0) return {};
    char buffer[256] = {};
    const char* text = ErrorText(strerror_r(static_cast<int>(code), buffer, sizeof buffer), buffer);
    if (text == nullptr || *text == '\0') return {};
    // The C library names codes it does not know "Unknown error <n>": that is no message.
    if (std::strncmp(text, "Unknown error", 13) == 0) return {};
    return text;
}

std::unique_ptr<SerialDevice> OpenNumberedPort(int portNumber) {
    // A number no port list has given yet may be an adapter plugged in since: scan, as the
    // port dialog does, before saying it is not there.
    std::optional<std::string> path = PortTable::ForCurrentUser().FindDevice(portNumber);
    if (!path) {
        throw CSerialException(ENOENT, "COM" + std::to_string(portNumber) + " is not present");
    }
    return OpenPosixSerialDevice(*path);
}

}  // namespace

CSerialException::CSerialException(uint32_t errorCode, std::string detail)
    : errorCode_(errorCode), detail_(std::move(detail)) {}

bool CSerialException::GetErrorMessage(char* buffer, size_t size) const {
    if (buffer == nullptr || size == 0) return false;
    std::string system = SystemErrorText(errorCode_);
    std::string text;
    if (detail_.empty()) {
        text = system;
    } else if (system.empty()) {
        text = detail_;
    } else {
        text = detail_ + " (" + system + ")";
    }
    size_t n = text.size() < size - 1 ? text.size() : size - 1;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return !text.empty();
}

std::string CSerialException::GetErrorMessage() const {
    char buffer[4096];
    if (!GetErrorMessage(buffer, sizeof buffer)) return {};
    return buffer;
}

CSerialPort::CSerialPort() = default;

CSerialPort::~CSerialPort() { Close(); }

void CSerialPort::SetDeviceOpener(DeviceOpener opener) { opener_ = std::move(opener); }

void CSerialPort::Open(int portNumber, uint32_t baud, int parity, uint8_t dataBits, int stopBits,
                       int flowControl, bool overlapped) {
    // A port object holds one device: opening again replaces it, and a failure leaves the
    // port closed.
    Close();
    std::unique_ptr<SerialDevice> device = opener_ ? opener_(portNumber) : OpenNumberedPort(portNumber);
    if (!device) {
        throw CSerialException(ENOENT, "COM" + std::to_string(portNumber) + " is not present");
    }
    Configure(std::move(device), SerialLineSettings{baud, parity, dataBits, stopBits, flowControl},
              overlapped);
}

void CSerialPort::OpenPath(const std::string& devicePath, const SerialLineSettings& settings) {
    Close();
    Configure(OpenPosixSerialDevice(devicePath), settings, false);
}

void CSerialPort::Configure(std::unique_ptr<SerialDevice> device, const SerialLineSettings& settings,
                            bool overlapped) {
    // The device is only kept once its line settings took; otherwise it closes here.
    device->Configure(settings);
    device_ = std::move(device);
    // There is no overlapped I/O here; the flag is only remembered, as the port's callers
    // may ask for it.
    overlapped_ = overlapped;
}

void CSerialPort::Close() {
    device_.reset();
    overlapped_ = false;
}

bool CSerialPort::IsOpen() const { return device_ != nullptr; }

SerialDevice& CSerialPort::Device() {
    if (!device_) throw CSerialException(EBADF, "The COM port is not open");
    return *device_;
}

size_t CSerialPort::Read(void* buffer, size_t n) { return Device().Read(static_cast<uint8_t*>(buffer), n); }

size_t CSerialPort::Write(const void* buffer, size_t n) {
    return Device().Write(static_cast<const uint8_t*>(buffer), n);
}

void CSerialPort::Flush() { Device().Flush(); }

SerialStatus CSerialPort::GetStatus() {
    SerialDevice& device = Device();
    SerialStatus status;
    status.inQueue = static_cast<uint32_t>(device.QueuedBytes());
    status.outQueue = static_cast<uint32_t>(device.OutQueuedBytes());
    return status;
}

SerialTimeouts CSerialPort::GetTimeouts() { return Device().GetTimeouts(); }

void CSerialPort::SetTimeouts(const SerialTimeouts& timeouts) { Device().SetTimeouts(timeouts); }
