// Why a port did not open, as the port dialog and tr805q-cli show it beneath their message.
#include "link/PortFailure.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

TEST(PortOpenFailure, ReasonNamesTheCauseAndWhatToDo) {
    struct Case {
        int code;
        const char* detail;
        const char* expected;
    };
    const Case cases[] = {
        {EACCES, "Cannot open /dev/ttyUSB0",
         "Cannot open /dev/ttyUSB0 (Permission denied)\nSerial ports belong to the group dialout: add "
         "yourself with \"sudo adduser $USER dialout\" and log in again."},
        {EBUSY, "Cannot open /dev/ttyUSB0",
         "Cannot open /dev/ttyUSB0 (Device or resource busy)\nAnother program holds the port: close it "
         "there, or choose another port."},
        {ENOENT, "COM4 is not present",
         "COM4 is not present (No such file or directory)\nThe device is not there: plug the adapter in "
         "again, or choose another port."},
        {ENXIO, "Cannot open /dev/ttyUSB0",
         "Cannot open /dev/ttyUSB0 (No such device or address)\nThe device is not there: plug the adapter "
         "in again, or choose another port."},
        // A setting the port cannot take says which in its own words.
        {EINVAL, "Flow control DSR/DTR is not available on this platform",
         "Flow control DSR/DTR is not available on this platform (Invalid argument)"},
        {0, "", "Command failed."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PortOpenFailureReason(CSerialException(static_cast<uint32_t>(c.code), c.detail)),
                  c.expected)
            << c.code;
    }
}

}  // namespace
