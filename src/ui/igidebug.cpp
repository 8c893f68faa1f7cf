// The game screen's debug lines.
#include "ui/igidebug.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "core/debug.h"
#include "core/gamestate.h"
#include "map/map.h"
#include "platform/font.h"
#include "platform/graph.h"
#include "ui/igi.h"
#include "ui/igidisp.h"
#include "units/building.h"
#include "units/team.h"
#include "units/unit.h"

namespace {

struct DEBUGLINES {
    uint32_t since;          // the clock at the last refresh of the rates
    uint32_t start;          // the clock at the first frame
    uint32_t frames;         // frames drawn since start
    unsigned long ms, fps, av;
    int blockx, blockdx;
    std::vector<std::string> lines;
};

DEBUGLINES s = {0, 0, 0, 0, 0, 0, 0, 10, {}};

void Line(BITMAP* dst, int x, int y, const char* format, ...) __attribute__((format(printf, 4, 5)));

void Line(BITMAP* dst, int x, int y, const char* format, ...)
{
    char text[256];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    s.lines.push_back(text);
    if (dst) Font_Print(x, y, text, 0, 1, nullptr, nullptr, dst);
}

void Rates(BITMAP* dst, uint32_t now)
{
    if (!s.start) s.start = s.since = now ? now : 1;
    s.frames++;
    if (s.frames % IGIDEBUG_RATEFRAMES == 0) {
        const uint32_t spent = std::max<uint32_t>(1, now - s.since);
        s.ms = spent / IGIDEBUG_RATEFRAMES;
        s.fps = (unsigned long)IGIDEBUG_RATEFRAMES * 1000 / spent;
        s.av = (unsigned long)((uint64_t)s.frames * 1000 / std::max<uint32_t>(1, now - s.start));
        s.since = now;
    }
    Line(dst, 10, 300, "Mem    = %.3lu", (unsigned long)(Debug_LiveBytes() / 1024));
    if (g_DebugFlags & DBG_DEBUGMODE) {
        int n[TEAM_MAXTEAMS];
        for (int t = 0; t < TEAM_MAXTEAMS; t++) n[t] = teamdata[t].unitcount;
        Line(dst, 10, 315, "Teams : %.3d %.3d %.3d %.3d %.3d %.3d %.3d %.3d %.3d   Tot : %.4d", n[0], n[1], n[2],
             n[3], n[4], n[5], n[6], n[7], n[8], Units_Count());
    } else {
        Line(dst, 10, 315, "Units : %.4d", Units_Count());
    }
    Line(dst, 10, 330, "Bldgs  = %.4lu", (unsigned long)Build_Count());
    Line(dst, 10, 395, "Ms     = %.3lu", s.ms);
    Line(dst, 10, 410, "Fps    = %.3lu", s.fps);
    Line(dst, 10, 425, "Av     = %.3lu", s.av);
    // A block that moves every frame shows at a glance that frames flow.
    s.blockx += s.blockdx;
    if (s.blockx <= 0 || s.blockx >= IGIDEBUG_BLOCKRIGHT) {
        s.blockx = std::clamp(s.blockx, 0, (int)IGIDEBUG_BLOCKRIGHT);
        s.blockdx = s.blockx <= 0 ? 10 : -10;
    }
    if (dst) Graph_FillRect(dst, nullptr, 0, s.blockx, 477, 10, 3, IGIDISP_TEXTCOLOUR);
}

int Tactical(const UNIT* u, int which)
{
    return which == 0 ? u->tactaiinfo.tenacity : which == 1 ? u->tactaiinfo.autonomy : u->tactaiinfo.selfpreservation;
}

void UnitLine(BITMAP* dst, int y, const char* format, const UNIT* u)
{
    if (!u || !u->type) return;
    Line(dst, 10, y, format, u->tilepos.x, u->tilepos.y, u->id, u->movemode, u->maplevel, u->sorder.code,
         u->snextorder.code, u->hitpoints, u->type->maxhitpoints, Tactical(u, 0), Tactical(u, 1), Tactical(u, 2));
}

void Status(BITMAP* dst, int mx, int my)
{
    const int team = std::clamp(g_LocalTeam, 0, TEAM_MAXTEAMS - 1);
    const TEAM_DATA& td = teamdata[team];
    Line(dst, 10, 100, "Side:%d CPU: %d:%d (%d%%) CR: %lu Pow %d/%d", td.side, td.cpu.used, td.cpu.load,
         td.cpu.percent, (unsigned long)std::max(0, (int)td.credits), td.resource[2].supply, td.resource[2].usage);
    int px, py, tx = 0, ty = 0, alt = 0, effect = 0;
    if (g_MapElements && mapsizex > 1 && mapsizey > 1) {
        Igidisp_ScreenToMap(mx, my, &px, &py);
        Igidisp_PixelToTile(px, py, &tx, &ty);
        const MAP_ELEMENT& e = g_MapElements[(size_t)ty * mapsizex + tx];
        alt = e.altitude;
        effect = e.effect;
    }
    Line(dst, 10, 115, "MouseAt %3.3d,%3.3d  Alt %1.1d  Effect %2.2d", tx, ty, alt, effect);
    UnitLine(dst, 130, "MU: %3.3d,%3.3d Id=%3.3d %dM %dW Or=%d,%d HM=%d (%d) TAS=%d,%d,%d", igi_nfo.event.unit);
    if (const BUILDING* b = igi_nfo.event.build)
        Line(dst, 10, 145, "MB: %3.3d,%3.3d Id%3.3d %dW %dM Or=%d HM=%d(%d)", b->tilex, b->tiley, b->id, b->state,
             b->complete, b->primary, b->hitpoints, b->buildingtype->maxhitpoints);
    UnitLine(dst, 160, "FU: %3.3d,%3.3d Id%3.3d %dM %dW Or=%d,%d HM=%d(%d) TAS=%d,%d,%d", igi_nfo.firstunit);
    if (const BUILDING* b = igi_nfo.sbuild)
        Line(dst, 10, 175, "FB: %3.3d,%3.3d Id%3.3d %dW %dM Or=%d HM=%d(%d) Ef=%d", b->tilex, b->tiley, b->id,
             b->state, b->complete, b->primary, b->hitpoints, b->buildingtype->maxhitpoints, b->efficiency);
    Line(dst, 10, 190, "UCycles : %10.10lu", (unsigned long)g_UpdateCount);
    Line(dst, 10, 205, "DCycles : %10.10lu", (unsigned long)g_FrameCount);
}

} // namespace

void IgiDebug_Reset(void) { s = DEBUGLINES{0, 0, 0, 0, 0, 0, 0, 10, {}}; }

void IgiDebug_Draw(BITMAP* dst, uint32_t now, int mx, int my)
{
    s.lines.clear();
    if (g_DebugFlags & DBG_RATES) Rates(dst, now);
    if (g_DebugFlags & DBG_UNITVALUES) Status(dst, mx, my);
    // The network session does not report its state to the interface yet.
    if (g_DebugFlags & IGIDEBUG_NETWORK) Line(dst, 10, 440, "Network Info not available");
}

int IgiDebug_LineCount(void) { return (int)s.lines.size(); }
const char* IgiDebug_Line(int i) { return i >= 0 && i < (int)s.lines.size() ? s.lines[i].c_str() : nullptr; }
int IgiDebug_BlockX(void) { return s.blockx; }
