#include "editor/metpick.h"

#include <cstring>

#include "map/tile.h"
#include "platform/video.h"
#include "widgets/qidesktop.h"
#include "widgets/qidraw.h"

// The frame, then the preview 3 pixels inside the cell.
static void DrawCell(MePickItem* item, const IPoint& at, const BITMAP* preview, const IPoint& origin, const IRect& row,
                     uint32_t state)
{
    item->QIStateImage::Draw(origin, row, state);
    BITMAP* bb = Backbuf_Lock();
    if (!bb || !preview->data) return;
    GRECT g;
    const GRECT* gc = QI_WithinDrawClip(&row, &g);
    Graph_Blit(bb, gc, 0, at.x + MEPICK_INSET, at.y + MEPICK_INSET, preview, 0, 0, MEPICK_PREVIEW, MEPICK_PREVIEW);
}

MePickTile::MePickTile(int t, int v, int32_t* to) : MePickItem(MEPF_BUTNS), texture(t), variation(v), target(to)
{
    Graph_InitBitmap(&preview, MEPICK_PREVIEW, MEPICK_PREVIEW, nullptr);
    const uint32_t corners = (uint32_t)(t & 0xf) * 0x1111u;
    Tile_Draw(corners | (uint32_t)(v & 7) << 18, &preview, 0);
}

MePickTile::~MePickTile() { Graph_FreeBitmap(&preview); }

void MePickTile::Draw(const IPoint& origin, const IRect& row, uint32_t state) {
    DrawCell(this, ContentAt(origin, state), &preview, origin, row, state);
}

void MePickTile::Clicked(const IPoint& at, int kind)
{
    MePickItem::Clicked(at, kind);
    if (kind == QIE_LEFTDOWN && target) *target = texture;
}

MePickMask::MePickMask(int m, uint32_t* set) : MePickItem(MEPF_BUTNS), mask(m), allowed(set)
{
    Graph_InitBitmap(&preview, MEPICK_PREVIEW, MEPICK_PREVIEW, nullptr);
    if (const BITMAP* src = Tile_GetMask(m & 3))
        Graph_Blit(&preview, nullptr, 0, 0, 0, src, 0, 0, MEPICK_PREVIEW, MEPICK_PREVIEW);
}

MePickMask::~MePickMask() { Graph_FreeBitmap(&preview); }

void MePickMask::Draw(const IPoint& origin, const IRect& row, uint32_t state) {
    DrawCell(this, ContentAt(origin, state), &preview, origin, row, state);
}
