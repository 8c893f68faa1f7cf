// Zone set-up of the in-game interface: special buttons from the
// standard-button size table, text-entry zones, selector buttons, plain
// zones and sliders with their dragging.
//
// A slider keeps a value in 0..range and a knob position in 0..width
// pixels; each follows from the other by integer division (value = range x
// position / width), so a value set from outside may come back one lower.
#pragma once

#include <cstdint>

#include "ui/igizone.h"

// Standard-button size classes.
enum { SBT_SML = 0, SBT_MED = 1, SBT_LGE = 2, SBT_SELECTOR = 3 };

struct IGI_BUTTONSIZE {
    int width, height;
    int bitmapx;          // the class's first look in the button bitmap
    int textx, texty;     // text inset
    int textright;        // text right edge
};

// The size of each class, SBT_SML .. SBT_LGE.
extern const IGI_BUTTONSIZE g_IgiButtonSize[SBT_LGE + 1];

// A special button of class sbt at (x, y), its label the multi-language
// text of key (30 characters at most) or the key itself. Asserts
// "sbt>=0 && sbt<SBT_MAXIMUM".
void Igievnt_SetSpecialButton(int zd, ZONE_HANDLER handler, const char* key, int sbt, int x, int y, int layers);
// A panel button: a special button handled by Igievnt_HandleStdButton that
// runs action when clicked.
void Igievnt_DefineStdButton(int zd, ZONE_ACTION action, const char* key, int sbt, int x, int y, int layers);
// A text-entry zone (handled by Igievnt_HandleEditZone): the default text
// copied into buffer (which holds maxlen + 1 bytes), the text area inset
// by (insetx, insety).
void Igievnt_DefineButton(int zd, ZONE_HANDLER handler, int x, int y, int w, int h, int insetx, int insety,
                          char* buffer, int maxlen, const char* deftext, int charclass, int flag, int layers);
// A selector button (style 3) of w x h at (x, y).
void Igievnt_DefineSelector(int zd, ZONE_HANDLER handler, int x, int y, int w, int h, int layers);
// A plain zone of w x h at (x, y), not pressed.
void Igievnt_DefinePlain(int zd, ZONE_HANDLER handler, int x, int y, int w, int h, int layers);
// A slider of w x h at (x, y): value min(range, start), knob w x value /
// range; with notify the value is recomputed from the knob and reported.
void Igievnt_DefineSlider(int zd, ZONE_HANDLER handler, SLIDER_CALLBACK callback, int continuous, int x, int y,
                          int w, int h, int range, int start, int notify, int layers);
// Sets the value (clamped to 0..range) and knob, marks the zone dirty;
// nothing is reported.
void Igievnt_SetSliderValue(int zd, int value);
// As Igievnt_SetSliderValue, then reports range x knob / width.
void Igievnt_SetSliderValueNotify(int zd, int value);
// Passes range x knob / width to the callback.
void Igievnt_ReportSlider(int zd);
// The handler of every panel button and slider. A slider: reason 2 left
// down starts a drag (mouse confined, button lock 4); reason 1 follows the
// pointer and ends at the release. A button: reason 0 draws it, reason 1
// lets it up (shown down for one frame), a left release over it plays
// MSG_SFXBUTTONCLICK, presses it and runs its action; every other event is
// ignored. Zones 45 and 74 show no press (the action mode holds them down),
// 60 to 64 latch (their action lets them up), 3 to 5 are dirty on every call.
void Igievnt_HandleStdButton(uint32_t zd, uint32_t reason);
