// The frames a script's download sends, as `tr805q-cli compile --image` prints them.
#include "script/DownloadFrames.h"

#include <gtest/gtest.h>

using namespace script;

namespace {

TEST(DownloadFrames, RecordFramesCarryThreeSlotsHighByteFirst) {
    const ImageRecord r = {0x1234, 0xA1B2, 0xC3D4, 0x0102, 0x0304, 0x0506, 0x0708,
                           0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
    const Frame f = RecordFrame(0x09, r);
    EXPECT_EQ(FrameToHex(f), "7E 09 12 34 A1 B2 C3 D4 01 02 03 04 05 06 07 08");
    EXPECT_EQ(FrameToHex(InitialiserFrame({0xBEEF, 0x0A0B})), "7E 12 BE EF 0A 0B");
}

}  // namespace
