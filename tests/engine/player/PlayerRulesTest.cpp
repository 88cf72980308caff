// The player's pure rules: where a picture goes in the video area, window to picture
// coordinates, which late pictures are dropped, and how state events collapse.
#include <gtest/gtest.h>

#include "play/FrameDropRule.h"
#include "play/PlayEventQueue.h"
#include "play/PlayerGeometry.h"

using namespace vx;

TEST(PlayerGeometry, PictureFitsTheAreaKeepingItsAspect) {
    struct TCase {
        const char* Name;
        float Forced;
        int AreaW, AreaH;
        double Sar;
        int PictW, PictH;
        TRect Expected;
    };
    const TCase cases[] = {
        // A wide picture in the window's preview panel: letterboxed, centred.
        {"16:9 in the panel", 0, 184, 131, 1.0, 320, 180, {0, 13, 184, 117}},
        // Sample aspect 16:15 makes a PAL picture 4:3: it fills a 4:3 area.
        {"PAL 16:15", 0, 640, 480, 16.0 / 15, 720, 576, {0, 0, 640, 480}},
        {"forced 16:9", 16.0f / 9, 640, 480, 1.0, 320, 240, {0, 60, 640, 420}},
        {"stretched", -1, 640, 480, 1.0, 320, 180, {0, 0, 640, 480}},
        // A tall picture: pillarboxed, width even.
        {"portrait", 0, 640, 480, 1.0, 240, 320, {140, 0, 500, 480}},
        {"unknown sample aspect", 0, 400, 300, 0.0, 320, 240, {0, 0, 400, 300}},
    };
    for (const TCase& c : cases) {
        const double aspect = DisplayAspect(c.Forced, c.AreaW, c.AreaH, c.Sar, c.PictW, c.PictH);
        const TRect r = FitPicture(aspect, 0, 0, c.AreaW, c.AreaH);
        EXPECT_EQ(r, c.Expected) << c.Name << ": " << r.Left << "," << r.Top << " " << r.Width() << "x"
                                 << r.Height();
    }
}

TEST(PlayerGeometry, WindowRectanglesBecomePicturePixels) {
    const TRect display{0, 13, 184, 117}; // where a 320x180 picture was drawn
    EXPECT_EQ(DisplayToPicture(display, display, 320, 180), (TRect{0, 0, 320, 180}));
    // Corners in any order, parts outside the picture clipped away.
    EXPECT_EQ(DisplayToPicture({184, 117, 0, 13}, display, 320, 180), (TRect{0, 0, 320, 180}));
    EXPECT_EQ(DisplayToPicture({-50, 0, 92, 65}, display, 320, 180), (TRect{0, 0, 160, 90}));
    EXPECT_EQ(DisplayToPicture({10, 10, 20, 20}, TRect{}, 320, 180), TRect{});
}

TEST(PlayerFrameDrop, LatePicturesAreDroppedOnlyWhereAllowed) {
    struct TCase {
        const char* Name;
        TFrameDropInput In;
        bool Drop;
    };
    // Now is 10 s; the picture after the current one was due at 9.9 s (late) or 10.1 s.
    const TCase cases[] = {
        {"on time", {-1, true, false, 10, 10.1, 2, false}, false},
        {"late with sound", {-1, true, false, 10, 9.9, 2, false}, true},
        {"late without sound, automatic", {-1, false, false, 10, 9.9, 2, false}, false},
        {"late, dropping off", {0, true, false, 10, 9.9, 2, false}, false},
        {"late, dropping forced", {1, false, false, 10, 9.9, 2, false}, true},
        {"capture device", {1, true, true, 10, 9.9, 2, false}, false},
        // The last picture is still shown when less than half a second late ...
        {"last picture, a little late", {-1, true, false, 10, 9.9, 1, false}, false},
        {"last picture, very late", {-1, true, false, 10, 9.4, 1, false}, true},
        // ... but nothing of before a seek is shown.
        {"stale after a seek", {0, false, false, 10, 10.1, 1, true}, true},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(DropPicture(c.In), c.Drop) << c.Name;
}

TEST(PlayEventQueue, ConsecutiveEntriesOfOneKindCollapseIntoTheLatest) {
    TPlayEventQueue queue;
    queue.Put(pekState, 0);
    queue.Put(pekState, 1); // a slow handler sees only the newer state
    queue.Put(pekPosition, 100);
    queue.Put(pekPosition, 200);
    queue.Put(pekState, 4);
    const TPlayEvent expected[] = {{pekState, 1}, {pekPosition, 200}, {pekState, 4}};
    for (const TPlayEvent& e : expected) {
        const TPlayEvent got = queue.Take();
        EXPECT_EQ(got.Kind, e.Kind);
        EXPECT_EQ(got.Value, e.Value);
    }
    EXPECT_EQ(queue.Take().Kind, pekNone);
    EXPECT_FALSE(queue.Wait(0));
}

TEST(PlayEventQueue, AFullRingDropsItsOldestEntry) {
    TPlayEventQueue queue;
    for (int i = 0; i < 12; ++i)
        queue.Put(i % 2 ? pekPosition : pekState, i);
    // Nine entries fit; the three oldest went.
    for (int i = 3; i < 12; ++i)
        EXPECT_EQ(queue.Take().Value, i);
    EXPECT_EQ(queue.Take().Kind, pekNone);
}
