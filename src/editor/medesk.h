// The editor desktop's two hooks: keys as editor commands, and the frame
// hook that draws the map view, the minimap and the tool's feedback and
// scrolls at the screen edges.
#pragma once

#include <cstdint>

class QIPointer;
struct QIKey;
struct BUILDINGTYPE;

// Old altitude 0..15 to the new one of Alt+R.
extern const uint8_t g_MeAltitudeRemap[16];

class MeDesktop {
public:
    // The key hook (called only while no widget holds the keyboard): one
    // command per key, then the key's code is 0 whatever it was.
    static void HandleEvent(QIKey* key, QIPointer* pointer);
    // The frame hook: with a scenario open, the big map shown and drawing
    // on, the view (the engine's at zoom 1, clipped to the big map; else
    // the zoomed picture), the minimap, the tool and the position read-out;
    // then edge scrolling.
    static void ShowCursorPos(QIPointer* pointer);
    // "mscr%04d.pcx" of the back buffer in the current directory, the
    // first number from the counter on whose file isn't there (shots of
    // earlier runs are kept); the counter goes on for the whole run.
    static void Screenshot(void);
    // Every altitude through g_MeAltitudeRemap (above 15 counts as 0),
    // relit, and the big map redrawn.
    static void RemapAltitudes(void);
    // The next screenshot's number.
    static int ScreenshotCounter(void);
    // Whether type's footprint and its four part offsets lie inside tiles
    // 1 .. size - 1 with its top-left tile at (x, y).
    static bool BuildingFits(const BUILDINGTYPE* type, int x, int y);
};
