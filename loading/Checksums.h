#pragma once
// "Warning": the dialog that shows the device's checksums of blocks 1 and 2 when they differ
// from the file's. "Ignore" closes it with OK and lets the load finish; "Cancel" (or closing
// it) ends the load.
#include <cstdint>
#include <string>

class CChecksums {
public:
    // The device's checksums, as it reported them.
    uint32_t block1 = 0;
    uint32_t block2 = 0;

    // Eight upper-case hexadecimal digits, zeros on the left: 0x1A2B -> "00001A2B".
    static std::string Digits(uint32_t checksum);
    // "Block 1 Checksum: 0x00001A2B"; "Block 2 Checksum: 0x...".
    std::string Block1Text() const;
    std::string Block2Text() const;
};

// Shows CChecksums modally; the window's view, tr805q-cli's printout and tests implement it.
class ChecksumsPrompt {
public:
    virtual ~ChecksumsPrompt() = default;
    // True for "Ignore"; false for "Cancel" or a closed dialog.
    virtual bool Ignore(const CChecksums& checksums) = 0;
};
