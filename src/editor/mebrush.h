// Brushes: the editor's wrappers of things on the map while they are selected
// or under the rubber band, and the three lists that hold them.
//
// Design note. A brush never owns its thing: destroying a brush leaves the
// unit, building, object, region, start position or waypoint alone, and only
// Delete takes the thing out of the scenario. A brush is in at most one list
// at a time; the lists are intrusive through the LListNode links and destroy
// whatever brushes they still hold when the program ends.
#pragma once

#include <cstdint>

#include "widgets/qivalue.h"

struct TRAIL;

enum MEBRUSH_KIND {
    MEBK_NONE = 0,
    MEBK_BUILD = 1,
    MEBK_UNIT = 2,
    MEBK_OBJECT = 3,
    MEBK_REGION = 4,
    MEBK_START = 5,
    MEBK_WAYPOINT = 6,
};

class MeBrush : public LListNode {
public:
    int32_t x = 0, y = 0;    // world pixels of the thing (tile x 24 for things on tiles)
    uint32_t brushFlags = 0; // bit 0 cleared at construction

    MeBrush() {}
    // Frees the brush only: neither unlinks it nor touches its thing.
    virtual ~MeBrush() {}

    // 0 for the base; MEBRUSH_KIND of a concrete brush.
    virtual int Kind(void) { return MEBK_NONE; }
    // The wrapped thing (null in the base).
    virtual void* Thing(void) { return nullptr; }
    // Whether other wraps this brush's own thing (kinds are not compared).
    virtual bool IsSame(MeBrush* other) { (void)other; return false; }
    // The thing's rectangle in world pixels (an empty one in the base).
    virtual IRect GetRect(void) { return IRect(0, 0, 0, 0); }
    virtual void Hilite(void) {}
    virtual void UnHilite(void) {}
    virtual int Reserved(void) { return 0; }
    // Takes the thing out of the scenario.
    virtual void Delete(void) {}
    // Accumulates delta in x, y and moves the thing where it may go.
    virtual void MoveBy(const IPoint& delta, const IPoint& point) { (void)delta, (void)point; }
    // x, y back from the thing's stored position.
    virtual void Snap(void) {}
    virtual void NextTeam(void) {}
    virtual void DrawRange(const IRect& clip) { (void)clip; }
    virtual void DrawLabel(const IRect& clip) { (void)clip; }
    virtual void SetOrders(int tenacity, int autonomy, int selfpreservation, int level)
    {
        (void)tenacity, (void)autonomy, (void)selfpreservation, (void)level;
    }
    // Whether rect meets GetRect, touching edges included.
    virtual bool Intersects(const IRect& rect);
    virtual uint32_t TenacityBit(void) { return 0; }
    virtual uint32_t AutonomyBit(void) { return 0; }
    virtual uint32_t SelfPreservationBit(void) { return 0; }
    virtual uint32_t AutoMoveBit(void) { return 0; }
    virtual int HasPath(void) { return 0; }
    virtual void AssignPath(TRAIL* trail, int direction) { (void)trail, (void)direction; }
    virtual void SetPathDirection(int direction) { (void)direction; }
    virtual uint32_t PathDirectionBit(void) { return 0; }
    // Replaces the thing by a new copy of it, which the brush then wraps.
    virtual void Copy(void) {}

    MeBrush* Next(void) const { return static_cast<MeBrush*>(next); }
    MeBrush* Prev(void) const { return static_cast<MeBrush*>(prev); }
};

class MeBrushList {
public:
    MeBrush* head = nullptr;
    MeBrush* tail = nullptr;
    int32_t count = 0;

    MeBrushList() {}
    MeBrushList(const MeBrushList&) = delete;
    MeBrushList& operator=(const MeBrushList&) = delete;
    // Destroys the brushes still linked (never their things).
    ~MeBrushList() { DestroyAll(); }

    // Links brush after tail; a null brush is ignored.
    void Append(MeBrush* brush);
    // Unlinks brush (which must be in this list) and clears its links.
    void Remove(MeBrush* brush);
    // Unlinks and destroys every brush, leaving the things alone.
    void DestroyAll(void);
    // Unlinks every brush without destroying any.
    void UnlinkAll(void);
    // Whether brush is linked in this list.
    bool Holds(const MeBrush* brush) const;
};

enum { MEBL_SELECTION = 0, MEBL_BANDADD = 1, MEBL_BANDREMOVE = 2, MEBL_COUNT = 3 };

// The selection, the band-add list and the band-remove list.
extern MeBrushList g_MeBrushLists[MEBL_COUNT];
