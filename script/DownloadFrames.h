#pragma once
// The frames that carry a compiled script to the board: 0x7E, a command byte, then 16-bit words
// high byte first. The run host sends exactly these, in this order; `tr805q-cli compile
// --image` prints them.
#include "script/ScriptCompiler.h"

#include <cstdint>
#include <string>
#include <vector>

namespace script {

constexpr uint8_t kFrameStart = 0x7E;
constexpr uint8_t kCmdFirstRecord = 0x08;  // the first command record
constexpr uint8_t kCmdNextRecord = 0x09;  // every further record, and the closing one
constexpr uint8_t kCmdInitialiser = 0x12;  // one data word's initial value

using Frame = std::vector<uint8_t>;

// A record as the board takes it: the opcode and the first three descriptor/value pairs.
Frame RecordFrame(uint8_t command, const ImageRecord& record);
Frame InitialiserFrame(const DataInitialiser& init);
// The `stop` record that ends every downloaded script.
ImageRecord ClosingRecord();

// Every download frame of a compiled script, in sending order: the first record with 0x08,
// the others with 0x09, every initialiser with 0x12, then the closing record with 0x09. A
// script without records starts with a `stop` record of its own sent with 0x08, so that the
// board never appends to an image it already held.
std::vector<Frame> BuildDownloadFrames(CScriptCompiler& compiler);

// "7E 08 00 02 ..." : upper-case hex bytes separated by blanks.
std::string FrameToHex(const Frame& frame);

}  // namespace script
