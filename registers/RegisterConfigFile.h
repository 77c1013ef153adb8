#pragma once
// The register table's configuration file: 40 records of six lines, CR LF on disk.
//
// The file is 8-bit text. The pages hold UTF-8; the file holds ISO-8859-1 (Latin-1), so
// accented letters of Western European descriptions survive a save and a load. A character
// outside Latin-1 is saved as '?', and a line break inside a cell as a blank, so that no cell
// can shift the records after it.
#include "registers/RegisterTable.h"

#include <array>
#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>

using RegisterRows = std::array<RegisterRow, CRegisterTablePage::kRows>;

inline constexpr const char* kMsgUnableToSaveConfig = "Error - Unable to save config file";
inline constexpr const char* kMsgUnableToOpenConfig = "Error - Unable to open config file";
inline constexpr const char* kMsgUnableToReadConfig = "Error - Unable to read config file";

std::string Utf8ToLatin1(std::string_view utf8);
std::string Latin1ToUtf8(std::string_view latin1);

// The whole file as it goes to disk.
std::string FormatRegisterConfig(const RegisterRows& rows);

// Fills rows from a file's bytes, record by record. Rows must be clear; returns the number of
// records read before a missing or wrong header (40 when the whole file was good).
int ParseRegisterConfig(std::string_view bytes, RegisterRows& rows);

// The longest line the file may hold, its line end not counted. The cells the pages save are
// short (addresses and data are a few hex digits, descriptions a phrase); the bound keeps a file
// that is no configuration file (one long line, an endless device) from being read whole.
inline constexpr size_t kMaxConfigLineBytes = 4096;

struct RegisterConfigRead {
    int records = 0;  // as ParseRegisterConfig counts them
    bool readError = false;  // a read failed: the rows are not to be used
};

// Reads the file from `in`, only as far as the 40 records go. Rows must be clear.
RegisterConfigRead ReadRegisterConfig(std::istream& in, RegisterRows& rows);
