// The terrain pickers' items: a texture (corner type in one variation) and a
// mask variation, each a 32 x 32 cell of the picker frames with a 24 x 24
// preview. Neither places anything on the map.
#pragma once

#include <cstdint>

#include "platform/graph.h"
#include "editor/mepick.h"

enum { MEPICK_PREVIEW = 24, MEPICK_INSET = 3 };

class MePickTile : public MePickItem {
public:
    int32_t texture;   // 0..15
    int32_t variation; // 0..7
    int32_t* target;   // receives the texture on a left press (null: none)
    BITMAP preview{};

    // The preview is the tile whose four corners are texture, in variation.
    MePickTile(int texture, int variation, int32_t* target);
    ~MePickTile() override;
    void Draw(const IPoint& origin, const IRect& row, uint32_t state) override;
    // A left press writes the texture to the target.
    void Clicked(const IPoint& at, int kind) override;
};

class MePickMask : public MePickItem {
public:
    int32_t mask;      // 0..3
    uint32_t* allowed; // the terrain brush's allowed-mask set (kept only)
    BITMAP preview{};

    // The preview shows which corner owns each pixel of the mask.
    MePickMask(int mask, uint32_t* allowed);
    ~MePickMask() override;
    void Draw(const IPoint& origin, const IRect& row, uint32_t state) override;
};
