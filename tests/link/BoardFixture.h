#pragma once
// A board object on a scripted line, with recording prompts and progress bar.
#include "link/MB805QBrd.h"
#include "tests/link/ScriptedLine.h"
#include "tests/support/Recorders.h"

#include <gtest/gtest.h>

class BoardOnScriptedLine : public ::testing::Test {
protected:
    void SetUp() override { OpenScripted(board.Link().Port(), line); }

    FakeClock clock;
    ScriptedLine line{clock};
    RecordingPrompts prompts;
    RecordingProgress progress;
    CMB805QBrd board{clock, prompts, progress};
};
