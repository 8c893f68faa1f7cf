#include "editor/metpick.h"

#include <cstring>

#include "map/tile.h"
#include "platform/video.h"
#include "widgets/qidesktop.h"
#include "widgets/qidraw.h"

static const char* const kFrames = "me_butns.bmp";

static QIImage Frame(int y) { return QIImage(kFrames, IRect(491, y, MEPICK_TILECELL, MEPICK_TILECELL), 0); }

#define ME_PICKFRAMES Frame(96), Frame(128), Frame(160), Frame(160), IPoint(MEPICK_TILECELL, MEPICK_TILECELL)

// The frame, then the preview at (3, 3), one pixel further when pressed.
static void DrawCell(QIStateImage* item, const BITMAP* preview, const IPoint& origin, const IRect& row,
                     uint32_t state)
{
    item->QIStateImage::Draw(origin, row, state);
    BITMAP* bb = Backbuf_Lock();
    if (!bb || !preview->data) return;
    const int down = (item->itemFlags & QIIF_SELECTED) || (state & QIROW_CURRENT) ? 1 : 0;
    GRECT g;
    const GRECT* gc = QI_WithinDrawClip(&row, &g);
    Graph_Blit(bb, gc, 0, origin.x + item->x + MEPICK_INSET + down, origin.y + item->y + MEPICK_INSET + down, preview,
               0, 0, MEPICK_PREVIEW, MEPICK_PREVIEW);
}

MePickTile::MePickTile(int t, int v, int32_t* to) : QIStateImage(ME_PICKFRAMES), texture(t), variation(v), target(to)
{
    Graph_InitBitmap(&preview, MEPICK_PREVIEW, MEPICK_PREVIEW, nullptr);
    const uint32_t corners = (uint32_t)(t & 0xf) * 0x1111u;
    Tile_Draw(corners | (uint32_t)(v & 7) << 18, &preview, 0);
}

MePickTile::~MePickTile() { Graph_FreeBitmap(&preview); }

void MePickTile::Draw(const IPoint& origin, const IRect& row, uint32_t state) { DrawCell(this, &preview, origin, row, state); }

void MePickTile::Clicked(const IPoint& at, int kind)
{
    QIStateImage::Clicked(at, kind);
    if (kind == QIE_LEFTDOWN && target) *target = texture;
}

MePickMask::MePickMask(int m, uint32_t* set) : QIStateImage(ME_PICKFRAMES), mask(m), allowed(set)
{
    Graph_InitBitmap(&preview, MEPICK_PREVIEW, MEPICK_PREVIEW, nullptr);
    if (const BITMAP* src = Tile_GetMask(m & 3))
        Graph_Blit(&preview, nullptr, 0, 0, 0, src, 0, 0, MEPICK_PREVIEW, MEPICK_PREVIEW);
}

MePickMask::~MePickMask() { Graph_FreeBitmap(&preview); }

void MePickMask::Draw(const IPoint& origin, const IRect& row, uint32_t state) { DrawCell(this, &preview, origin, row, state); }
