// Random terrain from a plasma height field, and its dialog.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/rand.h"
#include "core/utils.h"
#include "editor/editor.h"
#include "editor/mefile.h"
#include "editor/meminimap.h"
#include "editor/meterrain.h"
#include "map/map.h"
#include "map/plasma.h"
#include "map/terrain.h"
#include "platform/font.h"
#include "widgets/qidesktop.h"
#include "widgets/qiedit.h"
#include "widgets/qilayer.h"
#include "widgets/qistatic.h"

enum {
    PLASMA_OK = 23,
    PLASMA_EDITLEN = 6,
    PLASMA_W = 300,
    PLASMA_H = 200,
    WATER = 0,
    LAND = 1,
    MAXALT = 31,
};

int MeTerrain::OnRandomTerrain(QIWidget* widget, int event, QIARG data)
{
    (void)widget, (void)data;
    if (event == 18 && (g_MeEditor.flags & MEF_OPEN)) PlasmaDialog();
    return event;
}

static int Number(const char* text) { return (int)strtol(text, nullptr, 10); }

void MeTerrain::PlasmaResult(int code, const char* seed, const char* grain, const char* water)
{
    if (code != PLASMA_OK) return;
    MeEditor& me = g_MeEditor;
    me.plasmaSeed = Number(seed);
    me.plasmaGrain = Number(grain);
    me.plasmaWater = Number(water);
    GeneratePlasma(me.plasmaGrain, me.plasmaSeed, me.plasmaWater);
}

void MeTerrain::PlasmaDialog(void)
{
    MeEditor& me = g_MeEditor;
    if (!me.desktop) return;
    const QIFont* font = me.fontB ? &me.fontB->font : nullptr;
    const int line = (font ? Font_GetHeight(font->slot) : 10) + 6;
    QIPopup* pop = new QIPopup("Plasma", nullptr, IPoint(PLASMA_W, PLASMA_H), font, "Generate Random Terrain");
    struct Field {
        const char* label;
        const char* text;
        const char* edit;
        int value;
        char buffer[PLASMA_EDITLEN + 1];
    } fields[3] = {{"PlasmaSeed", "Seed:", "PlasmaSeedEdit", me.plasmaSeed, {}},
                   {"PlasmaGrain", "Grain:", "PlasmaGrainEdit", me.plasmaGrain, {}},
                   {"PlasmaWater", "Water Level:", "PlasmaWaterEdit", me.plasmaWater, {}}};
    for (int i = 0; i < 3; i++) {
        Field& f = fields[i];
        char text[32];
        snprintf(text, sizeof text, "%d", f.value);
        Str_CopySafe(f.buffer, text, sizeof f.buffer);
        const int y = pop->y + 40 + i * (line + 8);
        QIWidget::AddChild(pop, new QIStatic(f.label, nullptr, IRect(pop->x + 20, y, 120, line), f.text, font, QIJ_LEFT));
        QIWidget::AddChild(pop, new QIEdit(f.edit, nullptr, IRect(pop->x + 150, y, 120, line), IPoint(3, 3), QIJ_LEFT,
                                           f.buffer, QIEC_DIGITS | QIEC_MINUS, 0, PLASMA_EDITLEN, 15, font));
    }
    MeMenuFile::AddOkCancel(pop, "Plasma");
    QIWidget::AddChild(me.backdrop, pop);
    // RunModal holds the map's drawing and input while the dialog covers it.
    const int code = MeMenuFile::RunModal(pop);
    PlasmaResult(code, fields[0].buffer, fields[1].buffer, fields[2].buffer);
}

static void SetCorner(int x, int y, int nibble, int type)
{
    MAP_ELEMENT* e = MAP_ELEMENT_AT(x, y);
    e->tile = (e->tile & ~(0xfu << (4 * nibble))) | ((uint32_t)type << (4 * nibble));
}

void MeTerrain::GeneratePlasma(int grain, int seed, int water)
{
    const int w = mapsizex, h = mapsizey;
    if (w > 0 && h > 0) {
        std::vector<uint8_t> heights((size_t)w * h);
        if (!Plasma_Generate(heights.data(), w, h, grain, (unsigned)seed)) return;
        // A water level past the field's top keeps the water at the highest altitude there is.
        const int sea = water + 2 > MAXALT ? MAXALT : water + 2;
        for (int x = 0; x < w; x++)
            for (int y = 0; y < h; y++) {
                const int height = heights[(size_t)y * w + x];
                const int alt = ((height * 5 - 5) * 2) / 144 + 2;
                const bool land = alt > water + 2;
                const int type = land ? LAND : WATER;
                MAP_ELEMENT* e = MAP_ELEMENT_AT(x, y);
                e->altitude = e->initalt = (uint32_t)(land ? alt : sea);
                e->tile = (e->tile & ~0xffffu) | (uint32_t)type * 0x1111u;
                if (x > 0 && y > 0) SetCorner(x - 1, y - 1, 2, type);
                if (x > 0) SetCorner(x - 1, y, 1, type);
                if (y > 0) SetCorner(x, y - 1, 3, type);
                uint32_t tile = e->tile & ~0x1f0000u;
                tile |= (uint32_t)(Crt_Rand() & 7) << 18;
                tile |= (uint32_t)(Crt_Rand() & 3) << 16;
                e->tile = tile;
            }
        for (int x = 0; x < w; x++)
            for (int y = 0; y < h; y++) Terrain_TileBrightness(x, y);
    }
    if (g_MeEditor.miniMap) g_MeEditor.miniMap->Redraw();
    MeBigMap::Refresh(1, 0, 0, 0, 0);
}
