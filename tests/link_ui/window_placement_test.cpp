// Where a dialog goes over its window: frame centred on frame, the dialog decorated like its
// owner, kept on the screen.
#include "link/ui/WindowPlacement.h"

#include <gtest/gtest.h>

namespace {

TEST(WindowPlacement, DialogFrameCentredOnTheOwnersFrameAndKeptOnTheScreen) {
    // An owner at (240,40) with a 20-pixel title bar and 1-pixel borders, on a 1280x1024 screen.
    const QRect frame(240, 40, 896, 537);
    const QRect client(241, 60, 894, 516);
    const QRect screen(0, 0, 1280, 1024);
    struct Case {
        const char* name;
        QRect ownerFrame, ownerClient;
        QSize dialog;
        QRect available;
        QPoint expected;
    } cases[] = {
        // Frame 384x107 centred on (687,308): top left (496,255), the client 1 across, 20 down.
        {"centred", frame, client, {382, 86}, screen, {497, 275}},
        {"undecorated owner", client, client, {382, 86}, screen, {497, 275}},
        {"no screen known", frame, client, {382, 86}, QRect(), {497, 275}},
        {"pushed right onto the screen",
         frame.translated(-600, 0),
         client.translated(-600, 0),
         {382, 86},
         screen,
         {1, 275}},
        {"pushed up onto the screen",
         frame.translated(0, 900),
         client.translated(0, 900),
         {382, 86},
         screen,
         {497, 937}},
        {"larger than the screen: its top left stays on it", frame, client, {1400, 1100}, screen, {1, 20}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CentredDialogPosition(c.ownerFrame, c.ownerClient, c.dialog, c.available), c.expected)
            << c.name;
    }
}

}  // namespace
