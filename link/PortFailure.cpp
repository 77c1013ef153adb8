#include "link/PortFailure.h"

#include "link/Messages.h"

#include <cerrno>

std::string PortOpenFailureReason(const CSerialException& e) {
    std::string text = PortFailureText(e);
    const char* hint = nullptr;
    switch (e.GetErrorCode()) {
        case EACCES:
        case EPERM:
            hint =
                "Serial ports belong to the group dialout: add yourself with "
                "\"sudo adduser $USER dialout\" and log in again.";
            break;
        case EBUSY: hint = "Another program holds the port: close it there, or choose another port."; break;
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case EIO: hint = "The device is not there: plug the adapter in again, or choose another port."; break;
        default: break;
    }
    if (hint != nullptr) text += std::string("\n") + hint;
    return text;
}
