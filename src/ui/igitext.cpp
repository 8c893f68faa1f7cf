#include "ui/igitext.h"

#include <cstdio>
#include <cstring>

#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/textlines.h"
#include "platform/font.h"
#include "platform/graph.h"
#include "platform/palette.h"
#include "rules/endcond.h"
#include "ui/igi.h"
#include "ui/igidisp.h"
#include "ui/slist.h"

static SLIST* s_List;
static BITMAP* s_Target; // where the list's cells go while it draws

enum { PIECE = 24, ARROW = 12, TEXTCLIP = 700 };

static void DrawLine(int, int x, int y, const char* text, int32_t, int32_t, int, const GRECT* clip)
{
    if (text && text[0] && s_Target) Font_Print(x, y, text, TEXTCLIP, 0, nullptr, clip, s_Target);
}

static void OpenList(void)
{
    IgiDisp_CloseTextPanel();
    const ZONE& z = igi_nfo.zone.data[TEXTPANEL_ZONE];
    int rowheight = Font_GetHeight(0);
    s_List = SList_New(z.lx + 20, z.ly + 25, z.rx - 20, z.ry - 20, 0, rowheight > 0 ? rowheight : 1,
                       DrawLine, nullptr);
}

static void Show(void)
{
    Igizone_SetDisabled(TEXTPANEL_ZONE, 0);
    igi_nfo.lockzone = TEXTPANEL_ZONE;
    IgiDisp_SetZoneDirty(TEXTPANEL_ZONE);
}

static void AddLine(const char* text, int width)
{
    SList_AddEntry(s_List, SLIST_END, text, 0, 0, width);
}

void IgiDisp_ShowTextFile(const char* path, const char* deftext)
{
    OpenList();
    FILE* f = path ? Fs_Open(path, "r") : nullptr;
    if (!f) {
        AddLine(deftext ? deftext : "", TEXTPANEL_DEFAULTWIDTH);
    } else {
        char line[TEXTPANEL_LINEMAX + 1];
        int len = 0, widest = 0, c;
        auto flush = [&]() {
            line[len] = 0;
            if (len && line[len - 1] == '\r') line[--len] = 0;
            int w = Font_StringWidth(line, 0) + 5;
            if (w > widest) widest = w;
            AddLine(line, w);
            len = 0;
        };
        int pending = 0;
        // A line longer than the buffer is cut: the rest of it is skipped.
        while ((c = fgetc(f)) != EOF) {
            pending = 1;
            if (c == '\n') {
                flush();
                pending = 0;
            } else if (len < TEXTPANEL_LINEMAX) {
                line[len++] = (char)c;
            }
        }
        if (pending) flush();
        fclose(f);
        if (widest > s_List->rx - s_List->lx + 1) SList_SetColumns(s_List, 1, widest);
    }
    Show();
}

static int FontZeroWidth(int c) { return Font_CharWidth(0, c); }

static void WrappedLine(const char* line) { AddLine(line, Font_StringWidth(line, 0) + 5); }

static int RuleLine(const char* text, int32_t)
{
    WrappedLine(text);
    return 1;
}

void IgiDisp_ShowBriefing(const char* path, int section)
{
    OpenList();
    if (!path || !Text_WrapFileSection(path, section, TEXTPANEL_WRAPWIDTH, FontZeroWidth, WrappedLine))
        WrappedLine("No briefing for this scenario");
    if (g_NetworkGame && TextLines_Count() > 0) {
        WrappedLine("");
        WrappedLine("RULES");
        WrappedLine("");
        TextLines_ForEach(RuleLine);
    }
    Show();
}

void IgiDisp_CloseTextPanel(void)
{
    if (s_List) {
        SList_Delete(s_List);
        s_List = nullptr;
    }
    Igizone_SetDisabled(TEXTPANEL_ZONE, 1);
    if (igi_nfo.lockzone == TEXTPANEL_ZONE) igi_nfo.lockzone = ZD_NULL;
    Igidisp_SetDirty();
}

int IgiDisp_IsTextPanelShown(void) { return igi_nfo.lockzone == TEXTPANEL_ZONE; }

SLIST* IgiDisp_TextPanelList(void) { return s_List; }

static void Piece(BITMAP* dst, int x, int y, int sy)
{
    const BITMAP* b = IgiDisp_Bitmap(IBM_TEXTBRDR);
    if (b) Graph_BlitTransparent(dst, nullptr, 0, x, y, b, 0, sy, PIECE, PIECE);
}

static void Arrow(BITMAP* dst, int x, int y, int sx, int sy)
{
    const BITMAP* b = IgiDisp_Bitmap(IBM_TEXTBRDR);
    if (b) Graph_BlitTransparent(dst, nullptr, 0, x, y, b, sx, sy, ARROW, ARROW);
}

void IgiDisp_DrawTextPanelTo(BITMAP* dst)
{
    if (!dst) return;
    const ZONE& z = igi_nfo.zone.data[TEXTPANEL_ZONE];
    const int lx = z.lx, ly = z.ly, rx = z.rx, ry = z.ry;
    const int w = rx - lx + 1, h = ry - ly + 1;
    Graph_RemapRect(dst, nullptr, 0, lx + 3, ly + 3, w - 6, h - 6, g_TranslucentTable);
    for (int x = PIECE; x < w - PIECE; x += PIECE) {
        Piece(dst, lx + x, ly, 96);
        Piece(dst, lx + x, ry - PIECE + 1, 168);
    }
    for (int y = PIECE; y < h - PIECE; y += PIECE) {
        Piece(dst, lx, ly + y, 120);
        Piece(dst, rx - PIECE + 1, ly + y, 144);
    }
    Piece(dst, lx, ly, 0);
    Piece(dst, rx - PIECE + 1, ly, 24);
    Piece(dst, lx, ry - PIECE + 1, 48);
    Piece(dst, rx - PIECE + 1, ry - PIECE + 1, 72);
    Piece(dst, rx - PIECE, ly, 192);
    if (!s_List) return;
    s_Target = dst;
    SList_DrawTo(s_List, dst);
    s_Target = nullptr;
    if (s_List->scrolly > 0) Arrow(dst, lx + (w - 11) / 2, ly + 6, 0, 228);
    if (s_List->scrolly < SList_MaxScrollY(s_List)) Arrow(dst, lx + (w - 11) / 2, ry - 18, 12, 228);
    if (s_List->scrollx > 0) Arrow(dst, lx + 6, ly + (h - 11) / 2, 0, 216);
    if (s_List->scrollx < SList_MaxScrollX(s_List)) Arrow(dst, rx - 18, ly + (h - 11) / 2, 12, 216);
}

int IgiDisp_ClockText(int timeleft, char* out, size_t size)
{
    if (timeleft < 0) return 0;
    int s = timeleft / 36;
    snprintf(out, size, "%02d:%02d:%02d", s / 3600, (s / 60) % 60, s % 60);
    return 1;
}

void IgiDisp_DrawClockTo(BITMAP* dst)
{
    char text[32];
    if (dst && IgiDisp_ClockText(Endcond_GetTimeLeft(g_LocalTeam), text, sizeof text))
        Font_Print(CLOCK_X, CLOCK_Y, text, 0, 2, nullptr, nullptr, dst);
}
