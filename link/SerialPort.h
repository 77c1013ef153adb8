#pragma once
// The COM port: opens a numbered port (through the port table) with given line settings and
// moves bytes. Every failure raises CSerialException carrying the system's error code.
#include "link/SerialDevice.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class CSerialException {
public:
    explicit CSerialException(uint32_t errorCode, std::string detail = {});
    uint32_t GetErrorCode() const { return errorCode_; }
    // The system's message for the error code, cut to the buffer size (with its terminating
    // zero); false and an empty text when there is none.
    bool GetErrorMessage(char* buffer, size_t size) const;
    // The same text as a string, taken through a buffer of 4096 characters.
    std::string GetErrorMessage() const;

private:
    uint32_t errorCode_;
    std::string detail_;  // our own words, for failures the system has no text for
};

// The port's status record; the program uses the receive-queue count.
struct SerialStatus {
    uint32_t inQueue = 0;
    uint32_t outQueue = 0;
};

class CSerialPort {
public:
    // Opens the device for a port number; tests replace it with the in-process simulated board.
    using DeviceOpener = std::function<std::unique_ptr<SerialDevice>(int portNumber)>;

    CSerialPort();
    ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    void SetDeviceOpener(DeviceOpener opener);

    void Open(int portNumber, uint32_t baud, int parity, uint8_t dataBits, int stopBits, int flowControl,
              bool overlapped = false);
    // Opens a device by its path (tr805q-cli --port /dev/ttyUSB0).
    void OpenPath(const std::string& devicePath, const SerialLineSettings& settings);
    void Close();
    bool IsOpen() const;
    size_t Read(void* buffer, size_t n);
    size_t Write(const void* buffer, size_t n);
    void Flush();
    SerialStatus GetStatus();
    SerialTimeouts GetTimeouts();
    void SetTimeouts(const SerialTimeouts& timeouts);

private:
    void Configure(std::unique_ptr<SerialDevice> device, const SerialLineSettings& settings, bool overlapped);
    SerialDevice& Device();

    DeviceOpener opener_;
    std::unique_ptr<SerialDevice> device_;
    bool overlapped_ = false;
};

// Opens a POSIX tty device with the given settings (raises CSerialException).
std::unique_ptr<SerialDevice> OpenPosixSerialDevice(const std::string& path);
