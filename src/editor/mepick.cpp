#include "editor/mepick.h"

static QIImage Frame(int frames, int i)
{
    static const int kButns[4][2] = {{491, 96}, {491, 128}, {491, 160}, {491, 160}};
    static const int kObjbo[4][2] = {{2, 0}, {66, 0}, {130, 0}, {130, 0}};
    if (frames == MEPF_BUTNS)
        return QIImage("me_butns.bmp", IRect(kButns[i][0], kButns[i][1], MEPICK_TILESIDE, MEPICK_TILESIDE), 0);
    return QIImage("me_objbo.bmp", IRect(kObjbo[i][0], kObjbo[i][1], MEPICK_OBJW, MEPICK_OBJH), 0);
}

MePickItem::MePickItem(int frames)
    : QIStateImage(Frame(frames, 0), Frame(frames, 1), Frame(frames, 2), Frame(frames, 3),
                   frames == MEPF_BUTNS ? IPoint(MEPICK_TILESIDE, MEPICK_TILESIDE) : IPoint(MEPICK_OBJW, MEPICK_OBJH))
{
}

IPoint MePickItem::ContentAt(const IPoint& origin, uint32_t state) const
{
    const int d = ((itemFlags & QIIF_SELECTED) || (state & QIROW_CURRENT)) ? 1 : 0;
    return IPoint(origin.x + x + d, origin.y + y + d);
}
