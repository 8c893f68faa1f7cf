// The editor's minimap: the whole map at one pixel an element, with team
// colours for buildings and units, one colour for objects and a frame where
// the big map looks.
//
// Three map-sized layers: terrain colours, things (0 is nothing), and their
// composite, which is rebuilt from the other two only when marked out of
// date; single changes write all the layers they touch at once. Units are
// written after buildings and win; objects never cover either.
#pragma once

#include <cstdint>

#include "platform/graph.h"
#include "widgets/qilayer.h"

struct MEVIEW;
struct BUILDING;
struct UNIT;
struct OVERLAY;

enum MEMINIMAP_STATE : uint32_t {
    MEMM_DRAGGING = 0x1,
    MEMM_ALLOCATED = 0x2,
    MEMM_STALE = 0x4,
};

enum {
    MEMINIMAP_INSET = 6,
    MEMINIMAP_OBJECTCOLOUR = 8, // objects, whatever their type
    MEMINIMAP_FRAMECOLOUR = 15,
    MEMINIMAP_SHADOWCOLOUR = 0,
    MEMINIMAP_CLICKOFFSET = 9,  // a click puts its element near the middle of a 19-element view
};

class MeMiniMap : public QILayer {
public:
    BITMAP terrain{};
    BITMAP objects{};
    BITMAP composite{};
    IRect display{0, 0, 0, 0};
    IPoint scroll;
    IPoint frame;
    MEVIEW* view;
    uint32_t mstate = 0; // MEMINIMAP_STATE

    MeMiniMap(const char* name, uint32_t widgetFlags, const IRect& rect, MEVIEW* viewState);
    ~MeMiniMap() override;

    // After a map is loaded or made: layers at map size, the display
    // centred in the inset area, scroll (0, 0), everything computed.
    void Create(void);
    // Frees the layers (before the map is replaced).
    void Free(void);
    // Computes every layer again.
    void Redraw(void);
    // Element (x, y)'s terrain colour again (shown unless a thing is there).
    void UpdateElement(int x, int y);
    void MarkBuilding(const BUILDING* building);
    void MarkUnit(const UNIT* unit);
    void MarkObject(const OVERLAY* overlay);
    // Onto the back buffer, clipped to the display: the scroll follows the
    // view unless a right drag holds it.
    void Draw(const IRect* clip) override;
    // Left click or drag moves the big map; a right drag scrolls here.
    int HandleInput(QIWidget** path, int kind, QIARG arg) override;
    void OnClick(const IPoint& p);

    // The terrain colour of element (x, y).
    static uint8_t TerrainColour(int x, int y);

private:
    void Put(int x, int y, uint8_t colour);
};
