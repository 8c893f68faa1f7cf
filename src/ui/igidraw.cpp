// The game screen's drawing: start and close, the zones, the message lines,
// the map view with its overlays, the cursor and the frame.
#include <cstddef>
#include <initializer_list>
#include <cstdio>
#include <cstring>

#include "core/debug.h"
#include "core/error.h"
#include "core/config.h"
#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/mlstring.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/mapview.h"
#include "map/overlay.h"
#include "map/pathsrch.h"
#include "platform/bmp.h"
#include "platform/cursor.h"
#include "platform/font.h"
#include "platform/graph.h"
#include "platform/input.h"
#include "platform/palette.h"
#include "platform/plat.h"
#include "platform/sortdisp.h"
#include "platform/video.h"
#include "ui/igi.h"
#include "ui/igibtn.h"
#include "ui/igiclick.h"
#include "ui/igidisp.h"
#include "ui/igidebug.h"
#include "ui/igievnt.h"
#include "ui/igimark.h"
#include "ui/igiminimap.h"
#include "ui/igimouse.h"
#include "ui/igipump.h"
#include "ui/igitext.h"
#include "ui/igitop.h"
#include "ui/igitrail.h"
#include "ui/igicomms.h"
#include "net/net.h"
#include "ui/igiworld.h"
#include "ui/slist.h"
#include "ui/textedit.h"
#include "units/building.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/vortex.h"

namespace {

struct BITMAPSPEC {
    const char* name;
    int w, h;
};

const BITMAPSPEC kBitmaps[IBM_COUNT] = {
    {"stdbtns.bmp", 981, 22},  {"topbtns.bmp", 882, 32},  {"topbits.bmp", 154, 32},
    {"mfdbtns.bmp", 576, 64},  {"minimap.bmp", 140, 138}, {"resobars.bmp", 104, 104},
    {"teampic.bmp", 208, 34},  {"mfdbac1.bmp", 192, 278}, {"pt.bmp", 171, 13},
    {"textbrdr.bmp", 24, 240}, {"basadv.bmp", 384, 32},   {"bubldbit.bmp", 192, 28},
    {"buisobox.bmp", 192, 50}, {"buscrlup.bmp", 66, 22},  {"buscrldn.bmp", 66, 22},
    {"copyrnm1.bmp", 285, 18}, {"copyrnm2.bmp", 285, 18}, {"comsgbox.bmp", 44, 18},
    {"coalianc.bmp", 198, 18}, {"cogivbox.bmp", 90, 95},  {"cosidbit.bmp", 23, 217},
    {"ortitles.bmp", 75, 74},  {"orlmh.bmp", 270, 22},    {"trailmde.bmp", 213, 22},
    {"meslider.bmp", 103, 10}, {"meoption.bmp", 44, 60},
};

const char* const kFonts[3] = {"font12w.pcx", "font12t.pcx", "font16.pcx"};

struct MESSAGE {
    char text[IGIDISP_MESSAGELEN];
    uint32_t expiry;
};

struct SCREEN {
    int started;
    int fonts;                 // Font_Init ran
    BITMAP bitmaps[IBM_COUNT];
    BITMAP clock;
    int watersale;
    int frameflag, panelflag;
    long drawcount[ZD_MAXIMUM];
    MESSAGE messages[IGIDISP_MESSAGES];
    int nmessages;
    int speed, slider;
    int scrolled;              // the view scrolled this frame
    int zone, lastzone;        // under the pointer now and the frame before
    int mousex, mousey, buttons;
    int lastmx, lastmy;
    uint32_t stillsince;       // when the pointer last moved or input arrived
    int tooltip;
    int credits;               // the credits field's value as shown
    int radar;                 // the radar worked at the last frame
};

SCREEN s;

enum {
    C_BLACK = 0, C_EMPTY = 14, C_SELECTED = 25, TOPBAR_LOOKSTRIDE = 294, SELECTOR_LOOKSTRIDE = 192,
    ZONE_MAP = 22, ZONE_MINIMAP = 23, ZONE_PAUSE = 2, ZONE_CHAT = 1,
};

int Clamp(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

ZONE& Zone(int zd)
{
    ASSERT(zd >= 0 && zd < ZD_MAXIMUM);
    return igi_nfo.zone.data[zd];
}

BITMAP* Target(void) { return Backbuf_Lock(); }

void Blit(int bm, int x, int y, int sx, int sy, int w, int h, const GRECT* clip = nullptr)
{
    if (BITMAP* dst = Target())
        if (s.bitmaps[bm].data) Graph_Blit(dst, clip, 0, x, y, &s.bitmaps[bm], sx, sy, w, h);
}

void BlitAll(int bm, int x, int y)
{
    Blit(bm, x, y, 0, 0, s.bitmaps[bm].x_size, s.bitmaps[bm].y_size);
}

void Fill(int x, int y, int w, int h, int colour)
{
    if (BITMAP* dst = Target()) Graph_FillRect(dst, nullptr, 0, x, y, w, h, (uint8_t)colour);
}

void Print(int x, int y, const char* text, int font, const uint8_t* remap = nullptr)
{
    if (BITMAP* dst = Target()) Font_Print(x, y, text, 0, font, remap, nullptr, dst, remap ? 0 : IGIDISP_TEXTCOLOUR);
}

void LoadBitmap(int i)
{
    char path[GAME_PATH];
    if (!Utils_MakePath(path, g_InterfaceDir, "", "", kBitmaps[i].name, ""))
        ERR_FATAL(ERRC_OPENFILE, "BMP error %d [%s]", (int)BMP_CANT_OPEN, kBitmaps[i].name);
    std::string shown = Fs_Resolve(path);
    uint8_t* pixels = nullptr;
    int depth = 0, w = 0, h = 0;
    int rc = Bmp_Read(path, &pixels, nullptr, &depth, &w, &h);
    if (rc != BMP_OK) ERR_FATAL(ERRC_OPENFILE, "BMP error %d [%s]", rc, shown.c_str());
    if (depth != 8) {
        Debug_Free(&pixels);
        ERR_FATAL(ERRC_FATAL, "BMP must be 8bit [%s]", shown.c_str());
    }
    if (w != kBitmaps[i].w || h != kBitmaps[i].h) {
        Debug_Free(&pixels);
        ERR_FATAL(ERRC_FATAL, "Invalid size for [%s], expected %d x %d", shown.c_str(), kBitmaps[i].w,
                  kBitmaps[i].h);
    }
    if (!Graph_InitBitmap(&s.bitmaps[i], w, h, nullptr)) {
        Debug_Free(&pixels);
        ERR_FATAL(ERRC_MEMORY, "Bitmap [%s]", shown.c_str());
    }
    memcpy(s.bitmaps[i].data, pixels, (size_t)w * h);
    Debug_Free(&pixels);
}

void LoadFont(int slot)
{
    char path[GAME_PATH];
    if (!Utils_MakePath(path, g_InterfaceDir, "", "", kFonts[slot], ""))
        ERR_FATAL(ERRC_OPENFILE, "Font file [%s]", kFonts[slot]);
    if (!Font_Load(path, slot)) ERR_FATAL(ERRC_OPENFILE, "Font file [%s]", Fs_Resolve(path).c_str());
}

int LargestWaterSale(void)
{
    int best = 0;
    for (const BUILDINGTYPE& t : g_BuildingTypes)
        if (t.resource[0].salecharge > best) best = t.resource[0].salecharge;
    return best;
}

} // namespace

void IgiDisp_Init(void)
{
    if (s.started) IgiDisp_Close();
    s = SCREEN{};
    s.started = 1; // a close frees whatever was made before a failure
    s.watersale = LargestWaterSale();
    IgiMark_InitGauge();
    IgiDebug_Reset();
    for (int i = 0; i < IBM_COUNT; i++) LoadBitmap(i);
    Font_Init(IGIDISP_FONTBYTES);
    s.fonts = 1;
    for (int slot = 0; slot < 3; slot++) LoadFont(slot);
    // The palette first: the minimap's colours are matched against it.
    IgiWorld_Load();
    if (g_MapElements && mapsizex > 0 && mapsizey > 0) IgiDisp_BuildMinimapTerrain();
    if (!Graph_InitBitmap(&s.clock, 64, 50, nullptr)) ERR_FATAL(ERRC_MEMORY, "Failed to allocate clock BMP");
    Graph_MakeAngleMap(&s.clock);
    s.speed = s.slider = IGIDISP_SCROLLSTART;
    s.credits = igi_nfo.credits;
    s.lastzone = s.zone = ZD_NULL;
    s.stillsince = Plat_SystemMs();
    Mouse_SetPos(IGIDISP_MOUSEX, IGIDISP_MOUSEY);
    Display_SetMessageHook(IgiDisp_AddMessage);
    if (g_NetworkGame) Net_SetMessageHandler(Igievnt_ChatReceived);
    Igidisp_SetDirty();
}

void IgiDisp_Close(void)
{
    if (!s.started) return;
    Display_SetMessageHook(nullptr);
    if (g_NetworkGame) Net_SetMessageHandler(nullptr);
    IgiWorld_Unload();
    IgiDisp_CloseTextPanel();
    IgiDisp_FreeMinimap();
    if (s.fonts) {
        for (int slot = 2; slot >= 0; slot--) Font_Unload(slot);
        Font_Close();
    }
    for (BITMAP& b : s.bitmaps) Graph_FreeBitmap(&b);
    Graph_FreeBitmap(&s.clock);
    s = SCREEN{};
}

int IgiDisp_Started(void) { return s.started; }

const BITMAP* IgiDisp_Bitmap(int i)
{
    return i >= 0 && i < IBM_COUNT && s.bitmaps[i].data ? &s.bitmaps[i] : nullptr;
}

const BITMAP* IgiDisp_ClockBitmap(void) { return s.clock.data ? &s.clock : nullptr; }
int IgiDisp_WaterSaleCharge(void) { return s.watersale; }

// ---- dirty marks ----

void Igidisp_SetDirty(void)
{
    s.frameflag = s.panelflag = 1;
    Igizone_SetAllDirty();
}

void IgiDisp_SetZoneDirty(int zd) { Zone(zd).dirty = 1; }
int IgiDisp_IsZoneDirty(int zd) { return Zone(zd).dirty; }
void IgiDisp_ClearZoneDirty(int zd) { Zone(zd).dirty = 0; }
long IgiDisp_DrawCount(int zd) { return zd >= 0 && zd < ZD_MAXIMUM ? s.drawcount[zd] : 0; }

// ---- buttons ----

int IgiDisp_GetButtonState(int zd)
{
    if (Zone(zd).button.pressed) return 2;
    if (s.zone == zd) return (s.buttons & MOUSE_BUTTON_LEFT) ? 2 : 1;
    return 0;
}

void IgiDisp_DrawStdButton(int zd)
{
    ASSERT(zd >= 0 && zd < ZD_MAXIMUM);
    ZONE& z = igi_nfo.zone.data[zd];
    ASSERT(z.type == ZT_STDBTN);
    int type = (int)z.button.sbt;
    ASSERT(type >= SBT_SML && type <= SBT_LGE);
    if (!z.dirty) return;
    const IGI_BUTTONSIZE& size = g_IgiButtonSize[type];
    int look = IgiDisp_GetButtonState(zd);
    Blit(IBM_STDBTNS, z.lx, z.ly, size.bitmapx + look * size.width, 0, size.width, size.height);
    int p = look == 2 ? 1 : 0;
    int room = size.textright - size.textx, w = Font_StringWidth(z.button.label, 0);
    int x = z.lx + size.textx + p + (w <= room ? (room - w) / 2 : 0);
    Print(x, z.ly + size.texty + p, z.button.label, 0);
    z.dirty = 0;
    s.drawcount[zd]++;
}

// ---- zone drawings ----

void IgiDisp_FormatCredits(int credits, char* out, size_t size)
{
    snprintf(out, size, "%09d", credits < 0 ? 0 : credits);
    for (size_t i = 0; i < 8 && out[i] == '0'; i++) out[i] = ':';
}

namespace {

// The translucent table inside a one-pixel frame.
void TextBox(int lx, int ly, int rx, int ry)
{
    BITMAP* dst = Target();
    if (!dst) return;
    Graph_RemapRect(dst, nullptr, 0, lx + 1, ly + 1, rx - lx - 1, ry - ly - 1, g_TranslucentTable);
    Graph_DrawRect(dst, nullptr, 0, lx, ly, rx - lx + 1, ry - ly + 1, IGIDISP_TEXTCOLOUR);
}

void DrawTextField(const ZONE& z)
{
    const TEXTFIELD* f = Igievnt_EditedField();
    if (z.button.editing && f) {
        if (BITMAP* dst = Target()) TextField_Draw(f, dst);
    } else if (z.button.buffer) {
        // The text area is kept in screen pixels.
        Print(z.button.textx, z.button.texty, z.button.buffer, 0);
    }
}

void DrawChat(const ZONE& z)
{
    TextBox(z.lx, z.ly, z.rx, z.ry);
    DrawTextField(z);
}

void DrawPause(void)
{
    TextBox(164, 236, 284, 276);
    const char* text = MLString_Display(MLSD_PAUSED);
    Print((120 - Font_StringWidth(text, 0)) / 2 + 164, (40 - Font_GetHeight(0)) / 2 + 236, text, 0);
}

void DrawTopButton(int zd, const ZONE& z)
{
    static const int base[] = {0, 49, 98, -1, 147, 196, 245};
    int look = IgiDisp_GetButtonState(zd);
    Blit(IBM_TOPBTNS, z.lx, 0, base[zd - 8] + look * TOPBAR_LOOKSTRIDE, 0, 49, 32);
}

void DrawSelector(int zd, const ZONE& z)
{
    static const int cell[6][2] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}, {2, 0}, {2, 1}};
    int look = IgiDisp_GetButtonState(zd);
    const int* c = cell[zd - 15];
    Blit(IBM_MFDBTNS, z.lx, z.ly, look * SELECTOR_LOOKSTRIDE + c[0] * 64, c[1] * 32, 64, 32);
}

void DrawCredits(const ZONE& z)
{
    Blit(IBM_TOPBITS, z.lx, 0, 6, 0, 141, 32);
    char text[16];
    IgiDisp_FormatCredits(s.credits, text, sizeof text);
    Print(z.lx + 25, z.ly + 6, text, 2);
}

// The remap tables are indexed by team colour, not by the palette index the
// colour is shown in.
int TeamColour(int t) { return Clamp(teamdata[t].colour, 0, 7); }

void DrawTeamGrid(const ZONE& z)
{
    int under = -1;
    if (s.zone == 24)
        under = (s.mousex - z.lx) / IGITOP_GRIDCELLW + ((s.mousey - z.ly) / IGITOP_GRIDCELLH) * 4;
    for (int t = 0; t < 8; t++) {
        int look = 0;
        if (t == igi_nfo.watchteam) look = 3;
        else if (t == under) look = (s.buttons & MOUSE_BUTTON_LEFT) ? 3 : 2;
        else if (Igievnt_CanWatchTeam(t)) look = 1;
        BITMAP* dst = Target();
        if (!dst || !s.bitmaps[IBM_TEAMPIC].data) continue;
        Graph_BlitTable(dst, nullptr, 0, z.lx + (t % 4) * 13, z.ly + (t / 4) * 17, &s.bitmaps[IBM_TEAMPIC],
                        ((t % 4) + 4 * look) * 13, (t / 4) * 17, 13, 17, g_TeamRemap[TeamColour(t)]);
    }
}

void DrawArrow(int zd, const ZONE& z)
{
    int look = s.zone == zd ? ((s.buttons & MOUSE_BUTTON_LEFT) ? 2 : 1) : 0;
    Blit(zd == 26 ? IBM_BUSCRLUP : IBM_BUSCRLDN, z.lx, z.ly, look * 22, 0, 22, 22);
}

void DrawTactical(int zd, const ZONE& z)
{
    // Rows: 39 self-preservation (shown reversed), 40 autonomy, 41 tenacity.
    int level = zd == 39 ? igi_nfo.selfpreservation : zd == 40 ? igi_nfo.autonomy : igi_nfo.tenacity;
    if (zd == 39 && level >= 0 && level <= 2) level = 2 - level;
    int under = s.zone == zd ? (s.mousex - z.lx) / 30 : -1;
    for (int i = 0; i < 3; i++) {
        int sx = 30 * i;
        if (i == level) sx += 180;
        else if (i == under) sx += (s.buttons & MOUSE_BUTTON_LEFT) ? 180 : 90;
        Blit(IBM_ORLMH, z.lx + 30 * i, z.ly, sx, 0, 30, 22);
    }
}

void DrawSlider(const ZONE& z)
{
    Fill(z.lx - 1, z.ly - 1, z.rx - z.lx + 3, z.ry - z.ly + 3, C_BLACK);
    Blit(IBM_MESLIDER, z.lx, z.ly, 0, 0, z.button.position, 10);
}

SLIST* s_ZoneLists[ZD_MAXIMUM];

void DrawZoneList(int zd, int lx, int ly, int w, int h)
{
    Fill(lx, ly, w, h, C_BLACK);
    if (s_ZoneLists[zd]) SList_DrawTo(s_ZoneLists[zd], Target());
}

} // namespace

void IgiDisp_SetZoneList(int zd, SLIST* list)
{
    if (zd >= 0 && zd < ZD_MAXIMUM) s_ZoneLists[zd] = list;
}

void IgiDisp_DrawZone(int zd)
{
    ZONE& z = Zone(zd);
    if (!z.dirty) return;
    z.dirty = 0;
    s.drawcount[zd]++;
    const int w = z.rx - z.lx + 1, h = z.ry - z.ly + 1;
    switch (zd) {
    case ZONE_CHAT: DrawChat(z); return;
    case ZONE_PAUSE: DrawPause(); return;
    case 7:
    case 52: DrawZoneList(zd, z.lx, z.ly, w, h); return;
    case 8: case 9: case 10: case 12: case 13: case 14: DrawTopButton(zd, z); return;
    case 11: DrawCredits(z); return;
    case 15: case 16: case 17: case 18: case 19: case 20: DrawSelector(zd, z); return;
    case TEXTPANEL_ZONE: IgiDisp_DrawTextPanelTo(Target()); return;
    case ZONE_MAP: IgiDisp_DrawGameScreen(); return;
    case ZONE_MINIMAP: IgiDisp_DrawMinimap(); return;
    case 24: DrawTeamGrid(z); return;
    case 26: case 27: DrawArrow(zd, z); return;
    case 30: DrawZoneList(zd, 448, 64, 192, 250); return;
    case 39: case 40: case 41: DrawTactical(zd, z); return;
    case 65: case 66: case 67: case 68: DrawSlider(z); return;
    // The execution modes draw with the command panels.
    case 25: IgiMark_DrawPowerGauge(Target(), IgiDisp_Bitmap(IBM_RESOBARS), z.lx, z.ly); return;
    case 49: return;
    default: break;
    }
    if (z.button.buffer) {
        Fill(z.lx - 1, z.ly - 1, w + 2, h + 2, C_BLACK);
        DrawTextField(z);
        return;
    }
    if (z.type == ZT_STDBTN && z.button.sbt <= SBT_LGE && z.button.label[0]) {
        z.dirty = 1;
        s.drawcount[zd]--;
        IgiDisp_DrawStdButton(zd);
        return;
    }
    TLOG(TLOG_ERROR, "Unknown zone [%d]", zd);
}

// ---- panel backgrounds ----

void IgiDisp_DrawPanelTitle(int y, const char* text)
{
    Blit(IBM_PT, 639 - 171, y + 3, 0, 0, 171, 13);
    Print(644 - 171, y, text, 1, g_TitleTextTable);
}

static void Tabs(int page)
{
    Blit(IBM_BASADV, 448, 64, page * 192, 0, 192, 32);
    // The selected tab's text sits a pixel right and down, as pressed.
    Print(461 + (page == 0), 75 + (page == 0), MLString_Display(MLSD_BASIC), 1);
    Print(561 + (page == 1), 78 + (page == 1), MLString_Display(MLSD_ADVANCED), 1);
}

void IgiDisp_DrawPanelBackground(int mode)
{
    if (mode >= 2 && mode <= 6) BlitAll(IBM_MFDBAC1, 448, 64);
    switch (mode) {
    case 1:
        Fill(448, 64, 192, 250, C_BLACK);
        BlitAll(IBM_BUBLDBIT, 448, 314);
        break;
    case 2:
        Tabs(igi_nfo.orderspage);
        IgiDisp_DrawPanelTitle(97, MLString_Display(MLSD_ORDERS));
        IgiDisp_DrawPanelTitle(169, MLString_Display(MLSD_BEHAVIOURS));
        if (igi_nfo.orderspage == 1) BlitAll(IBM_ORTITLES, 473, 241);
        break;
    case 3: {
        Tabs(igi_nfo.trailpage);
        if (igi_nfo.trailpage == 1) {
            // A font-1 line above the execution-mode field (zone 49), the
            // name field (51) and the global trail list (52).
            const char* dir = MLString_Display(MLSD_PATHDIR);
            int lh = Font_GetHeight(1);
            Print(544 - Font_StringWidth(dir, 1) / 2, 205 - lh, dir, 1);
            Print(468, 258 - lh, MLString_Display(MLSD_CURRPATH), 1);
            Print(555, 257 - lh, MLString_Display(MLSD_SAVEDPATHS), 1);
        }
        break;
    }
    case 4:
        BlitAll(IBM_COSIDBIT, 448, 74);
        BlitAll(IBM_COGIVBOX, 464, 221);
        IgiDisp_DrawPanelTitle(73, MLString_Display(MLSD_PLAYERS));
        break;
    case 5:
        BlitAll(IBM_MEOPTION, 475, 180);
        IgiDisp_DrawPanelTitle(73, MLString_Display(MLSD_FILES));
        IgiDisp_DrawPanelTitle(161, MLString_Display(MLSD_OPTIONS));
        break;
    case 6:
        IgiDisp_DrawPanelTitle(80, MLString_Display(MLSD_UNITS));
        IgiDisp_DrawPanelTitle(225, MLString_Display(MLSD_BUILDINGS));
        break;
    default: ERR_FATAL(ERRC_FATAL, "Unknown mfd mode [%d]", mode);
    }
}

// ---- message lines ----

void IgiDisp_AddMessage(const char* text)
{
    if (!text) return;
    if (s.nmessages && strncmp(s.messages[s.nmessages - 1].text, text, IGIDISP_MESSAGELEN - 1) == 0) return;
    if (s.nmessages == IGIDISP_MESSAGES) {
        memmove(&s.messages[0], &s.messages[1], sizeof(MESSAGE) * (IGIDISP_MESSAGES - 1));
        s.nmessages--;
    }
    MESSAGE& m = s.messages[s.nmessages++];
    snprintf(m.text, sizeof m.text, "%s", text);
    m.expiry = Plat_SystemMs() + IGIDISP_MESSAGEMS;
}

int IgiDisp_MessageCount(void) { return s.nmessages; }
const char* IgiDisp_Message(int i) { return i >= 0 && i < s.nmessages ? s.messages[i].text : nullptr; }
void IgiDisp_ClearMessages(void) { s.nmessages = 0; }

static void ExpireAndDrawMessages(void)
{
    if (s.nmessages && (int32_t)(Plat_SystemMs() - s.messages[0].expiry) >= 0) {
        memmove(&s.messages[0], &s.messages[1], sizeof(MESSAGE) * (IGIDISP_MESSAGES - 1));
        s.nmessages--;
    }
    for (int i = 0; i < s.nmessages; i++) Print(20, 50 + i * Font_GetHeight(1), s.messages[i].text, 1);
}

// ---- bars and values ----

void Igidisp_DrawBar(int x, int y, int w, int h, int value, int max, int minfill, int fill, int frame)
{
    BITMAP* dst = Target();
    if (!dst || w < 3 || h < 3) return;
    Graph_DrawRect(dst, nullptr, 0, x, y, w, h, (uint8_t)frame);
    int inner = w - 2, n = max > 0 ? (int)((long long)Clamp(value, 0, max) * inner / max) : 0;
    if (value >= 1 && n < 1) n = 1;
    if (n < minfill) n = minfill;
    if (n > inner) n = inner;
    Graph_FillRect(dst, nullptr, 0, x + 1, y + 1, n, h - 2, (uint8_t)fill);
    Graph_FillRect(dst, nullptr, 0, x + 1 + n, y + 1, inner - n, h - 2, C_EMPTY);
}

void Igidisp_DrawBarVertical(int x, int y, int w, int h, int value, int max, int fill, int frame)
{
    BITMAP* dst = Target();
    if (!dst || w < 3 || h < 3) return;
    Graph_DrawRect(dst, nullptr, 0, x, y, w, h, (uint8_t)frame);
    int inner = h - 2, n = max > 0 ? (int)((long long)Clamp(value, 0, max) * inner / max) : 0;
    Graph_FillRect(dst, nullptr, 0, x + 1, y + 1, w - 2, inner - n, C_EMPTY);
    Graph_FillRect(dst, nullptr, 0, x + 1, y + 1 + inner - n, w - 2, n, (uint8_t)fill);
}

int IgiDisp_Smooth(int shown, int target)
{
    int step = (target - shown) >> 4;
    if (step == 0 && target != shown) step = target > shown ? 1 : -1;
    return shown + step;
}

int IgiDisp_UnitOnScreen(const UNIT* u)
{
    auto inside = [](int x, int y) {
        return x >= g_MapView.tilex && x < g_MapView.tilex + 20 && y >= g_MapView.tiley &&
               y < g_MapView.tiley + 20;
    };
    return inside(u->tilepos.x, u->tilepos.y) || (u->claimlevel >= 0 && inside(u->claimpos.x, u->claimpos.y));
}

// ---- the map view ----

void IgiDisp_SetScrollSlider(int speed)
{
    s.slider = Clamp(speed, 1, IGIDISP_SCROLLMAX);
}

int IgiDisp_ScrollSpeed(void) { return s.speed; }

void IgiDisp_ScrollMap(int left, int right, int top, int bottom)
{
    if (s.scrolled) return;
    s.scrolled = 1;
    int dx = 0, dy = 0;
    // A pointer that left a window rests on the edge it crossed.
    const int in = Mouse_Inside();
    if ((in && s.mousex <= left) || Input_KeyDown(SC_LEFT)) dx = -s.speed;
    else if ((in && s.mousex >= right) || Input_KeyDown(SC_RIGHT)) dx = s.speed;
    if ((in && s.mousey <= top) || Input_KeyDown(SC_UP)) dy = -s.speed;
    else if ((in && s.mousey >= bottom) || Input_KeyDown(SC_DOWN)) dy = s.speed;
    int ox = g_MapView.x, oy = g_MapView.y;
    if (dx || dy) Map_ScrollView(dx, dy);
    if (g_MapView.x != ox || g_MapView.y != oy) {
        if (s.speed > 5 && s.speed < IGIDISP_SCROLLMAX) s.speed++;
        IgiDisp_SetZoneDirty(ZONE_MINIMAP);
    } else {
        s.speed = s.slider;
    }
}

// The selection box's outline: the dotted style's bits as an 8-pixel on/off
// pattern along each edge.
static void DottedLine(BITMAP* dst, const GRECT* clip, int x1, int y1, int x2, int y2)
{
    enum { PATTERN = 92 };
    int n = x1 == x2 ? (y2 > y1 ? y2 - y1 : y1 - y2) : (x2 > x1 ? x2 - x1 : x1 - x2);
    int sx = x2 > x1 ? 1 : x2 < x1 ? -1 : 0, sy = y2 > y1 ? 1 : y2 < y1 ? -1 : 0;
    for (int i = 0; i <= n; i++)
        if (PATTERN >> (i & 7) & 1) Graph_PutPixel(dst, clip, 0, x1 + i * sx, y1 + i * sy, IGIDISP_TEXTCOLOUR);
}

static void DrawSelectionBox(BITMAP* dst, const GRECT* clip)
{
    if (!igi_nfo.dragging || igi_nfo.dragmode != 1) return;
    int x1 = igi_nfo.pressx, y1 = igi_nfo.pressy, x2 = s.mousex, y2 = s.mousey;
    DottedLine(dst, clip, x1, y1, x2, y1);
    DottedLine(dst, clip, x2, y1, x2, y2);
    DottedLine(dst, clip, x2, y2, x1, y2);
    DottedLine(dst, clip, x1, y2, x1, y1);
}

constexpr int PANEL_X = 448, VIEW_H = (int)PLAT_HEIGHT - (int)MAPVIEW_SCREEN_Y,
              KEEP_W = (int)MAPVIEW_SIZE - PANEL_X;

// The view draws 456 pixels wide; the 8 columns past zone 22 are the
// panel's, kept as they were.
static void KeepPanelColumns(BITMAP* dst, uint8_t* keep, int restore)
{
    const int w = KEEP_W;
    if (dst->x_size < (int)MAPVIEW_SIZE || dst->y_size < (int)PLAT_HEIGHT) return;
    for (int y = MAPVIEW_SCREEN_Y; y < PLAT_HEIGHT; y++) {
        uint8_t* row = dst->data + (size_t)y * dst->x_size + PANEL_X;
        uint8_t* k = keep + (size_t)(y - MAPVIEW_SCREEN_Y) * w;
        if (restore) memcpy(row, k, w);
        else memcpy(k, row, w);
    }
}

void IgiDisp_DrawGameScreen(void)
{
    BITMAP* dst = Target();
    if (!dst) return;
    if (Mouse_IsCursorShown() && !g_GamePaused) IgiDisp_ScrollMap(0, IGI_ZONEXMAX, 0, IGI_ZONEYMAX);
    // The view is 456 pixels wide: the 8 columns past zone 22 belong to the panel.
    GRECT clip = {0, MAPVIEW_SCREEN_Y, PANEL_X, VIEW_H};
    uint8_t keep[VIEW_H * KEEP_W];
    KeepPanelColumns(dst, keep, 0);
    IgiWorld_Follow();
    Map_DrawView();
    if (g_DebugFlags & DBG_PATHPICTURE) Pathsrch_DrawDebug();
    Ovl_ProcessOverlaysOnScreen();
    SortDisp_DrawAll();
    Vortex_DrawAll();
    if (!(g_DebugFlags & DBG_NOFOG)) Fog_Draw(g_LocalTeam);
    KeepPanelColumns(dst, keep, 1);
    DrawSelectionBox(dst, &clip);
    IgiMark_DrawOverlays(dst, &clip, s.zone == ZONE_MAP && Mouse_IsCursorShown(), s.mousex, s.mousey);
    Igitrail_DrawMapOverlay(dst, &clip);
    IgiDisp_DrawClockTo(dst);
}

// ---- the cursor ----

int IgiDisp_CursorOfKind(int kind)
{
    if (kind == 0 || kind == 39) return 0;
    if (kind >= 1 && kind <= 23) return kind;
    if (kind == 24) return 4;
    if (kind >= 25 && kind <= 31) return kind - 1;
    if (kind >= 32 && kind <= 34) return 31;
    if (kind == 35) return 32;
    if (kind == 36) return 33;
    if (kind == 37 || kind == 38) return 1;
    if (kind >= 40 && kind <= 43) return kind - 6;
    TLOG(TLOG_WARNING, "Unknown action mode [%d]", kind);
    return 0;
}

// The click kind a click at screen (x, y) in the map view would have now.
static int MapKindAt(int x, int y)
{
    if (!g_MapElements || mapsizex < 2 || mapsizey < 2) return 0;
    int px, py, tx, ty;
    Igidisp_ScreenToMap(x, y, &px, &py);
    Igidisp_PixelToTile(px, py, &tx, &ty);
    UNIT* unit = Igievnt_VisibleUnit(Igidisp_UnitAtPixel(px, py));
    return Igievnt_ClassifyClick(unit, Igidisp_BuildAtPixel(px, py), Igievnt_WaypointAt(tx, ty), tx, ty,
                                 (uint32_t)Input_GetModifiers());
}

int IgiDisp_ChooseCursor(int zone, int x, int y)
{
    int cursor = 0;
    if (zone == ZONE_MAP) {
        cursor = IgiDisp_CursorOfKind(MapKindAt(x, y));
    } else if (zone == ZONE_MINIMAP && !(Input_GetModifiers() & (MOD_LSHIFT | MOD_RSHIFT)) && !igi_nfo.dragging &&
               (igi_nfo.firstunit || igi_nfo.actionmode)) {
        if (igi_nfo.actionmode == AM_TRAILINS0) cursor = 34;
        else if (igi_nfo.actionmode == AM_TRAILINS1) cursor = 35;
        else if (igi_nfo.firstunit)
            cursor = (igi_nfo.actionmode == AM_FIRE || igi_nfo.actionmode == AM_FIRENOMV) ? 4 : 1;
    }
    int edgex = 0;
    if (x < 1) edgex = cursor = g_MapView.x <= 0 ? 49 : 41;
    else if (x > 638) edgex = cursor = g_MapView.x + 20 * MAP_TILE_PIXELS >= mapsizex * MAP_TILE_PIXELS ? 50 : 42;
    if (y < 1) {
        if (g_MapView.y <= 0) cursor = 51;
        else cursor = edgex == 41 ? 45 : edgex == 42 ? 46 : 43;
    } else if (y > 478) {
        if (g_MapView.y + 20 * MAP_TILE_PIXELS >= mapsizey * MAP_TILE_PIXELS) cursor = 52;
        else cursor = edgex == 41 ? 47 : edgex == 42 ? 48 : 44;
    }
    return cursor;
}

// ---- the frame ----

static void FramePieces(void)
{
    if (s.frameflag) {
        Blit(IBM_TOPBITS, 0, 0, 0, 0, 6, 32);
        Blit(IBM_TOPBITS, 441, 0, 147, 0, 7, 32);
        BlitAll(IBM_MINIMAP, 448, 342);
        s.frameflag = 0;
        IgiDisp_SetZoneDirty(ZONE_MINIMAP);
    }
    if (s.panelflag) {
        if (igi_nfo.mfdmode >= 1) IgiDisp_DrawPanelBackground(igi_nfo.mfdmode);
        s.panelflag = 0;
    }
    if (IgiDisp_MinimapTick()) IgiDisp_SetZoneDirty(ZONE_MINIMAP);
    const int radar = IgiDisp_RadarWorks();
    if (radar != s.radar) IgiDisp_SetZoneDirty(ZONE_MINIMAP);
    s.radar = radar;
    // The orders panel marks the automatic-movement button of the selection.
    if (igi_nfo.mfdmode == MFD_ORDERS)
        for (int i = 0; i < 3; i++) {
            if (!Igizone_IsDefined(33 + i)) continue;
            const ZONE& z = igi_nfo.zone.data[33 + i];
            Fill(z.lx - 9, z.ly + 6, 9, 10, igi_nfo.automove == i ? C_SELECTED : C_BLACK);
        }
}

static void DrawZones(void)
{
    // The map view is drawn every frame, so whatever lies over it too.
    for (int zd : {(int)ZONE_MAP, (int)TEXTPANEL_ZONE, (int)ZONE_PAUSE, (int)ZONE_CHAT}) IgiDisp_SetZoneDirty(zd);
    for (ZONE* z = igi_nfo.zone.last; z; z = z->prevactive) {
        if (z->disabled) continue;
        if (z->handler) z->handler(z->zd, ZR_DRAW);
        if (z->dirty) IgiDisp_DrawZone((int)z->zd);
        if (z == igi_nfo.zone.first) break;
    }
}

static void Tooltip(void)
{
    uint32_t now = Plat_SystemMs();
    if (s.mousex != s.lastmx || s.mousey != s.lastmy || igi_nfo.inputchanged) {
        s.stillsince = now;
        if (s.tooltip) Igidisp_SetDirty();
        s.tooltip = 0;
    } else if (!s.tooltip && (int32_t)(now - s.stillsince) >= g_Config.infodelay) {
        s.tooltip = s.zone != ZONE_MAP || igi_nfo.event.unit || igi_nfo.event.build;
    }
    s.lastmx = s.mousex;
    s.lastmy = s.mousey;
    if (s.tooltip && s.zone != ZD_NULL) IgiDisp_DrawHelp(s.zone);
}

int IgiDisp_TooltipShown(void) { return s.tooltip; }
int IgiDisp_ShownCredits(void) { return s.credits; }

void IgiDisp_Update(void)
{
    if (!s.started) return;
    // 1. The selection's state: without one, the modes that act on it end.
    if (!igi_nfo.firstunit) {
        int m = igi_nfo.actionmode;
        // Through the mode's own setter: its button comes up with it.
        if ((m >= 1 && m <= 5) || m == AM_PLACE || m == AM_MORPH) Igievnt_SetActionMode(AM_DEFAULT);
    }
    // 2-4. The pointer, the zone under it, and the zones it left and entered;
    // the buttons as held only when input arrived.
    int buttons = 0;
    Mouse_GetState(&s.mousex, &s.mousey, &buttons);
    if (igi_nfo.inputchanged) s.buttons = buttons;
    s.zone = Igizone_Find(s.mousex, s.mousey);
    if (s.zone != ZD_NULL) IgiDisp_SetZoneDirty(s.zone);
    if (s.lastzone != ZD_NULL) IgiDisp_SetZoneDirty(s.lastzone);
    s.lastzone = s.zone;
    FramePieces();
    // The credits field counts toward the real value a step a frame.
    if (s.credits != igi_nfo.credits) {
        s.credits = IgiDisp_Smooth(s.credits, igi_nfo.credits);
        IgiDisp_SetZoneDirty(11);
    }
    DrawZones();
    ExpireAndDrawMessages();
    Tooltip();
    IgiDebug_Draw(Target(), Plat_SystemMs(), s.mousex, s.mousey);
    if (Mouse_IsCursorShown()) {
        int c = IgiDisp_ChooseCursor(s.zone, s.mousex, s.mousey);
        if (c < cursorinfo.nrcursors) Cursor_Set(c);
        Cursor_Update();
    }
    Graph_FlipWithCursor();
    s.scrolled = 0;
    igi_nfo.inputchanged = 0;
}

// ---- tooltips ----

void IgiDisp_FormatInt(char* out, size_t size, const char* format, int value)
{
    // The format comes from the string files: only one integer conversion
    // is let through to printf.
    int ints = 0, others = 0;
    for (const char* p = format; *p; p++) {
        if (*p != '%') continue;
        p++;
        if (*p == '%') continue;
        if (*p == 'd' || *p == 'i') ints++;
        else others++;
        if (!*p) break;
    }
    if (ints == 1 && others == 0) snprintf(out, size, format, value);
    else snprintf(out, size, "%s %d", format, value);
}

namespace {

enum { TIP_TOP = 68, TIP_BOTTOM = 66, TIP_FILL = 0 };

// The box with its text, joined by a line to (ax, ay).
void TipBox(int x, int y, const char* text, int ax, int ay)
{
    BITMAP* dst = Target();
    if (!dst) return;
    int w = Font_StringWidth(text, 1) + 6, h = Font_GetHeight(1) + 4;
    x = Clamp(x, 0, PLAT_WIDTH - w);
    y = Clamp(y, 0, PLAT_HEIGHT - h);
    Graph_DrawLine(dst, nullptr, 0, ax, ay, x < ax ? x + w - 1 : x, y + h / 2, TIP_BOTTOM);
    Graph_FillRect(dst, nullptr, 0, x, y, w, h, TIP_FILL);
    Graph_DrawLine(dst, nullptr, 0, x, y, x + w - 1, y, TIP_TOP);
    Graph_DrawLine(dst, nullptr, 0, x, y, x, y + h - 1, TIP_TOP);
    Graph_DrawLine(dst, nullptr, 0, x, y + h - 1, x + w - 1, y + h - 1, TIP_BOTTOM);
    Graph_DrawLine(dst, nullptr, 0, x + w - 1, y, x + w - 1, y + h - 1, TIP_BOTTOM);
    Font_Print(x + 3, y + 2, text, 0, 1, g_TitleTextTable, nullptr, dst);
}

// Below the zone, centred on it.
void TipBelow(const ZONE& z, const char* text)
{
    int w = Font_StringWidth(text, 1) + 6, cx = (z.lx + z.rx) / 2;
    TipBox(cx - w / 2, z.ry + 20, text, cx, z.ry);
}

// To the left of the zone.
void TipLeft(const ZONE& z, const char* text)
{
    int w = Font_StringWidth(text, 1) + 6, cy = (z.ly + z.ry) / 2;
    TipBox(z.lx - 10 - w, cy - Font_GetHeight(1) / 2 - 2, text, z.lx, cy);
}

} // namespace

void IgiDisp_DrawHelp(int zd)
{
    static const int topbar[] = {MLSD_SELL, MLSD_POWER, MLSD_REPAIR, MLSD_CREDIT, MLSD_MOVE, MLSD_FIRE, MLSD_STOP};
    if (zd < 0 || zd >= ZD_MAXIMUM) return;
    const ZONE& z = igi_nfo.zone.data[zd];
    char text[IGIDISP_MESSAGELEN];
    if (zd >= 8 && zd <= 14) {
        TipBelow(z, MLString_Display(topbar[zd - 8]));
    } else if (zd == 29) {
        BUILDING* b = igi_nfo.sbuild;
        if (!b || b->team != g_LocalTeam) snprintf(text, sizeof text, "%s", MLString_Display(MLSD_SELUP));
        else if (!b->buildingtype->upgradeto) snprintf(text, sizeof text, "%s", MLString_Display(MLSD_NOUP));
        else snprintf(text, sizeof text, "%s %dc", b->buildingtype->upgradeto->name, b->buildingtype->upgradeto->cost);
        TipLeft(z, text);
    } else if (zd == 30) {
        if (!IgiMark_DrawListTooltip(Target())) return;
    } else if (zd == 80) {
        if (s.watersale <= 0) return;
        IgiDisp_FormatInt(text, sizeof text, MLString_Display(MLSD_WATERSALE), s.watersale);
        TipLeft(z, text);
    } else {
        return;
    }
    // A tooltip overlaps whatever lies around it: all is drawn again next frame.
    Igidisp_SetDirty();
}
