#pragma once
// The texts of the "Kernlet Load" page and its checksum warning, word for word, in one place.
#include <cstddef>

// Page and controls.
inline constexpr const char* kKernletPageCaption = "Kernlet Load";
inline constexpr const char* kKernletGroupSelect = "Select Kernlet";
inline constexpr const char* kKernletLabel = "Kernlet";
inline constexpr const char* kKernletBrowse = "Browse";
inline constexpr const char* kKernletGroupDevice = "Select Target Device";
inline constexpr const char* kKernletDevice1 = "Z-LINK Device 1";
inline constexpr const char* kKernletDevice2 = "Z-LINK Device 2";
inline constexpr const char* kKernletDevice3 = "Z-LINK Device 3";
inline constexpr const char* kKernletGroupLoad = "Load Kernlet";
inline constexpr const char* kKernletLoad = "Load";

// Settings: Software\QVR\TR805Q\ImageTab, value WorkingDirectoryKL.
inline constexpr const char* kImageTab = "ImageTab";
inline constexpr const char* kWorkingDirectoryValue = "WorkingDirectoryKL";

// The open-file dialog of "Browse".
inline constexpr const char* kBrowseTitle = "Select Kernlet";
inline constexpr const char* kBrowseDefaultExtension = "*.*";
inline constexpr const char* kBrowseFilter = "All files (*.*)|*.*||";

// What a load counts as it goes (ProgressSink).
inline constexpr const char* kProgressLoadingKernlet = "Loading Kernlet";
inline constexpr const char* kProgressUnitKernletBlocks = "blocks";

// Load.
inline constexpr const char* kMsgSelectKernlet = "Error - Select Kernlet";
inline constexpr const char* kMsgCannotOpenFile = "Error - Cannot open the specified file";
// The reset before a load names the kit differently from every other communication failure.
inline constexpr const char* kMsgNoCommunicationReset =
    "Error - Unable to communicate with HK61477 kit\nCheck connections and restart the program";
inline constexpr const char* kMsgNoLoadOk = "Error - Unable to load Kernlet - NO KL_LOAD_OK";
inline constexpr const char* kMsgStatusTimeout = "Error - Unable to load Kernlet - WT_KL_LOAD_FAIL 11";
// The program's own: the checksum table holds 50 blocks, so a larger file is not sent at all.
inline constexpr const char kFmtTooManyBlocks[] =
    "Error - The Kernlet file has %zu blocks; at most %zu blocks can be loaded";

// The program's own: a file whose blocks never complete, or that has no end record, would send
// the rest of itself as data; it is refused before the device is reset.
inline constexpr const char* kMsgNoBlockCount = "Error - The Kernlet file has no \"#define N_DB\" line";
inline constexpr const char* kMsgBlockCountNotHex =
    "Error - The \"#define N_DB\" line of the Kernlet file has no 0x value";
inline constexpr const char kFmtLengthNotHex[] =
    "Error - Block %zu of the Kernlet file: its length line has no 0x value";
inline constexpr const char kFmtBlockSurplusWords[] =
    "Error - Block %zu of the Kernlet file never completes: its length is %u words, and the line with its "
    "last "
    "word holds more";
inline constexpr const char kFmtBlockEndsEarly[] =
    "Error - Block %zu of the Kernlet file never completes: the file ends after %llu of its %u words";
inline constexpr const char kFmtNoEndRecordAfterBlock[] =
    "Error - The Kernlet file has no end record after block %zu: its \"#define N_DB\" line counts %u "
    "records, "
    "the end record included";
inline constexpr const char kFmtNoEndRecord[] =
    "Error - The Kernlet file has no end record: its \"#define N_DB\" line counts %u records, the end record "
    "included";

// Refusals by the board (0x11), by the write that was refused.
inline constexpr const char* kMsgRefusedChunk = "Error - Unable to load Kernlet - WT_KL_LOAD_FAIL";
inline constexpr const char* kMsgRefusedEndAddressHigh = "Error - Unable to load Kernlet - WT_KL_LOAD_FAIL 2";
inline constexpr const char* kMsgRefusedEndAddressLow = "Error - Unable to load Kernlet - WT_KL_LOAD_FAIL 3";
inline constexpr const char* kMsgRefusedEndZero1 = "Error - Unable to load Kernlet - WT_KL_LOAD_FAIL 4";
inline constexpr const char* kMsgRefusedEndZero2 = "Error - Unable to load Kernlet - WT_KL_LOAD_FAIL 5";
inline constexpr const char* kMsgRefusedAddressHigh = "Error - Unable to load Kernlet - WT_KL_LOAD_FAIL 6";
inline constexpr const char* kMsgRefusedAddressLow = "Error - Unable to load Kernlet - WT_KL_LOAD_FAIL 7";
inline constexpr const char* kMsgRefusedLengthHigh = "Error - Unable to load Kernlet - WT_KL_LOAD_FAIL 8";
inline constexpr const char* kMsgRefusedLengthLow = "Error - Unable to load Kernlet - WT_KL_LOAD_FAIL 9";

// Verification.
inline constexpr const char* kCaptionKernletLoad = "Kernlet Load";
inline constexpr const char kFmtLoadCompleteRegisters[] =
    "Kernlet Load complete\nProductID ($C5): 0x%04X \nKL Version ($C9): 0x%04X";
inline constexpr const char kFmtLoadCompleteReplyWords[] =
    "Kernlet Load complete\nProductID: 0x%04X \nKL Version: 0x%04X";
inline constexpr const char* kMsgChecksumsDiffer = "Checksums do not match";
inline constexpr const char* kCaptionWarning = "Warning";

// The checksum warning dialog.
inline constexpr const char* kChecksumsCaption = "Warning";
inline constexpr const char* kChecksumsHeading = "Checksums do not match:";
inline constexpr const char* kChecksumsBlock1Start = "Block 1 Checksum:";
inline constexpr const char* kChecksumsBlock2Start = "Block 2 Checksum:";
inline constexpr const char kFmtChecksumsBlock1[] = "Block 1 Checksum: 0x%s";
inline constexpr const char kFmtChecksumsBlock2[] = "Block 2 Checksum: 0x%s";
inline constexpr const char* kChecksumsIgnore = "Ignore";
inline constexpr const char* kChecksumsCancel = "Cancel";
