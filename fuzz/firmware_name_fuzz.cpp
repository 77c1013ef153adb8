// Any file names beside the program: the firmware-file search takes only a name with the
// prefix, and its version parse never reads past the name.
#include "app/FirmwareFile.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Names separated by '/', which no file name holds.
    std::vector<std::string> names(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '/')
            names.emplace_back();
        else
            names.back() += static_cast<char>(data[i]);
    }
    const FirmwareFile file = FindFirmwareFile(names);
    if (file.found && file.fileName.rfind(kFirmwareFilePrefix, 0) != 0) __builtin_trap();
    if (!file.found && !file.fileName.empty()) __builtin_trap();
    for (const auto& name : names) (void)ParseFirmwareVersion(name);
    return 0;
}
