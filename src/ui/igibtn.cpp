#include "ui/igibtn.h"

#include <cstdio>
#include <cstring>

#include "core/debug.h"
#include "core/mlstring.h"
#include "platform/input.h"
#include "rules/gamemsg.h"
#include "ui/igi.h"
#include "ui/igidisp.h"
#include "ui/igipanel.h"
#include "ui/textedit.h"

const IGI_BUTTONSIZE g_IgiButtonSize[SBT_LGE + 1] = {
    {71, 22, 0, 7, 5, 63},
    {103, 22, 213, 9, 5, 96},
    {153, 22, 522, 11, 5, 145},
};

static ZONE* Define(int zd, ZONE_HANDLER handler, int x, int y, int w, int h, int layers)
{
    Igizone_Add(zd, ZT_STDBTN, x, y, x + w - 1, y + h - 1, layers, handler);
    ZONE* z = &igi_nfo.zone.data[zd];
    z->button = ZONE_BUTTON{};
    return z;
}

void Igievnt_SetSpecialButton(int zd, ZONE_HANDLER handler, const char* key, int sbt, int x, int y, int layers)
{
    ASSERT(sbt>=0 && sbt<SBT_MAXIMUM);
    // Class 3 is the selectors' style, which has no size of its own.
    ASSERT(sbt <= SBT_LGE);
    const IGI_BUTTONSIZE& s = g_IgiButtonSize[sbt];
    ZONE* z = Define(zd, handler, x, y, s.width, s.height, layers);
    z->button.sbt = (uint32_t)sbt;
    if (!MLString_Get(key, z->button.label, sizeof z->button.label, 0))
        snprintf(z->button.label, sizeof z->button.label, "%s", key ? key : "");
}

void Igievnt_DefineStdButton(int zd, ZONE_ACTION action, const char* key, int sbt, int x, int y, int layers)
{
    Igievnt_SetSpecialButton(zd, Igievnt_HandleStdButton, key, sbt, x, y, layers);
    igi_nfo.zone.data[zd].button.action = action;
}

void Igievnt_DefineButton(int zd, ZONE_HANDLER handler, int x, int y, int w, int h, int insetx, int insety,
                          char* buffer, int maxlen, const char* deftext, int charclass, int flag, int layers)
{
    ZONE* z = Define(zd, handler, x, y, w, h, layers);
    ZONE_BUTTON& b = z->button;
    if (maxlen < 0) maxlen = 0;
    snprintf(buffer, (size_t)maxlen + 1, "%s", deftext ? deftext : "");
    b.textx = (int16_t)(x + insetx);
    b.texty = (int16_t)(y + insety);
    b.textw = (int16_t)(w - 2 * insetx);
    b.buffer = buffer;
    b.maxlen = maxlen;
    b.charclass = (uint32_t)charclass;
    b.flag = (uint32_t)flag;
    b.editing = 0;
}

void Igievnt_DefineSelector(int zd, ZONE_HANDLER handler, int x, int y, int w, int h, int layers)
{
    Define(zd, handler, x, y, w, h, layers)->button.sbt = SBT_SELECTOR;
}

void Igievnt_DefinePlain(int zd, ZONE_HANDLER handler, int x, int y, int w, int h, int layers)
{
    Define(zd, handler, x, y, w, h, layers);
}

static int Width(const ZONE* z) { return z->rx - z->lx + 1; }

static int ValueOf(const ZONE* z)
{
    return z->button.range * z->button.position / Width(z);
}

void Igievnt_ReportSlider(int zd)
{
    ASSERT(zd >= 0 && zd < ZD_MAXIMUM);
    ZONE* z = &igi_nfo.zone.data[zd];
    z->button.value = ValueOf(z);
    if (z->button.callback) z->button.callback((uint32_t)zd, z->button.value);
}

void Igievnt_SetSliderValue(int zd, int value)
{
    ASSERT(zd >= 0 && zd < ZD_MAXIMUM);
    ZONE* z = &igi_nfo.zone.data[zd];
    ZONE_BUTTON& b = z->button;
    if (value > b.range) value = b.range;
    if (value < 0) value = 0;
    b.value = value;
    // A range of 0 has one position.
    b.position = b.range > 0 ? Width(z) * value / b.range : 0;
    z->dirty = 1;
}

void Igievnt_SetSliderValueNotify(int zd, int value)
{
    Igievnt_SetSliderValue(zd, value);
    Igievnt_ReportSlider(zd);
}

void Igievnt_DefineSlider(int zd, ZONE_HANDLER handler, SLIDER_CALLBACK callback, int continuous, int x, int y,
                          int w, int h, int range, int start, int notify, int layers)
{
    ZONE* z = Define(zd, handler, x, y, w, h, layers);
    z->button.slider = 1;
    z->button.range = range < 0 ? 0 : range;
    z->button.callback = callback;
    z->button.continuous = (uint8_t)(continuous != 0);
    if (notify) Igievnt_SetSliderValueNotify(zd, start);
    else Igievnt_SetSliderValue(zd, start);
}

static void EndDrag(uint32_t zd)
{
    ZONE* z = &igi_nfo.zone.data[zd];
    Igievnt_ReportSlider((int)zd);
    Mouse_SetClipRect(0, 0, IGI_ZONEXMAX, IGI_ZONEYMAX);
    z->button.pressed = 0;
    z->dirty = 1;
    igi_nfo.buttonlock = 0;
}

static void SliderHandler(uint32_t zd, uint32_t reason)
{
    ZONE* z = &igi_nfo.zone.data[zd];
    ZONE_BUTTON& b = z->button;
    if (reason == ZR_INPUT) {
        if (igi_nfo.event.kind != EV_LEFTDOWN || igi_nfo.dragmode || igi_nfo.buttonlock) return;
        Mouse_SetClipRect(z->lx, z->ly, z->rx, z->ry);
        b.pressed = 1;
        z->dirty = 1;
        igi_nfo.buttonlock = 4;
        return;
    }
    if (reason != ZR_UPDATE || !b.pressed) return;
    if (!(igi_nfo.mousebuttons & MOUSE_BUTTON_LEFT)) {
        EndDrag(zd);
        return;
    }
    int pos = igi_nfo.mousex - z->lx;
    // The pointer is confined to the zone, but a warp or a released clip
    // must not push the knob off the track.
    if (pos < 0) pos = 0;
    if (pos > Width(z)) pos = Width(z);
    if (pos == b.position) return;
    b.position = pos;
    z->dirty = 1;
    if (b.continuous) Igievnt_ReportSlider((int)zd);
}

// The mode buttons show the action mode, not the click; the group buttons
// stay down for their mode.
static int NoPressedLook(uint32_t zd) { return zd == 45 || zd == 74; }
static int Latches(uint32_t zd) { return zd >= 60 && zd <= 64; }
static int AlwaysDirty(uint32_t zd) { return zd >= 3 && zd <= 5; }

void Igievnt_HandleStdButton(uint32_t zd, uint32_t reason)
{
    if (zd >= ZD_MAXIMUM) return;
    ZONE* z = &igi_nfo.zone.data[zd];
    if (z->button.slider) return SliderHandler(zd, reason);
    if (AlwaysDirty(zd)) z->dirty = 1;
    switch (reason) {
    case ZR_DRAW:
        if (z->button.sbt <= SBT_LGE) IgiDisp_DrawStdButton((int)zd);
        return;
    case ZR_UPDATE:
        if (z->button.pressed && !NoPressedLook(zd) && !Latches(zd)) {
            z->button.pressed = 0;
            z->dirty = 1;
        }
        return;
    case ZR_INPUT:
        if (igi_nfo.event.kind != EV_LEFTUP) return;
        Igipanel_Msg(MSG_SFXBUTTONCLICK);
        if (!NoPressedLook(zd)) {
            z->button.pressed = 1;
            z->dirty = 1;
        }
        if (z->button.action) z->button.action(zd);
        return;
    default: return;
    }
}
