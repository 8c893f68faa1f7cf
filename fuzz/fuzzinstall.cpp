#include "fuzzinstall.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "core/config.h"
#include "core/gamestate.h"
#include "fuzzsupport.h"
#include "gen_palette.h"
#include "gen_sprites.h"
#include "gen_tiles.h"
#include "map/map.h"
#include "platform/animtype.h"
#include "platform/effects.h"
#include "platform/palette.h"
#include "platform/sprite.h"
#include "rules/tfbuild.h"
#include "rules/tfgen.h"
#include "rules/tfunit.h"
#include "units/building.h"
#include "units/damage.h"
#include "units/expltype.h"
#include "units/weapon.h"

namespace fs = std::filesystem;

static void Need(bool ok, const char* what)
{
    if (ok) return;
    fprintf(stderr, "fuzz: cannot write %s\n", what);
    abort();
}

static void Copy(const std::string& from, const std::string& to)
{
    std::error_code ec;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
    Need(!ec, to.c_str());
}

void QvFuzz_WriteInstallation(void)
{
    const std::string home = QvFuzz_Dir();
    const std::string graphics = home + "/data/graphics";
    std::error_code ec;
    fs::create_directories(graphics + "/DEMO", ec);
    fs::create_directories(home + "/data/deftxt", ec);
    fs::create_directories(home + "/data/aip", ec);
    fs::create_directories(home + "/scenario/SINGLE/FUZZ", ec);
    Cfg_SetDefaults(&g_Config);
    g_Config.disableai = 1;
    Game_SetDirectories(home.c_str(), "data", "", "save", "scenario");
    Game_SetScenarioCategory(SC_SINGLE);
    Game_SetScenarioName("FUZZ");
    auto set = std::make_unique<GENTILE_SET>();
    GenTile_DemoSet(set.get());
    const std::string til = GenTile_Bytes(*set);
    FILE* f = fopen((graphics + "/DEMO/DEMO.til").c_str(), "wb");
    Need(f && fwrite(til.data(), 1, til.size(), f) == til.size() && fclose(f) == 0, "the tile set");
    PALINFO pal;
    Mkdata_DemoPalette(&pal);
    Need(Palstuff_Write((graphics + "/DEMO/DEMO.pal").c_str(), &pal), "the palette");
    for (int id = 0; id < GENSPRITE_COUNT; id++) {
        GENSPRITE s;
        GenSprite_Build(id, &s);
        SPRITE_DESC d = s.Desc();
        Need(Sprite_Write((graphics + "/" + GenSprite_FileName(id)).c_str(), &d), GenSprite_FileName(id));
    }
    for (const char* name : {"ovleff.txt", "animate.txt", "damage.txt", "weapon.txt", "units.txt",
                             "overlay.txt", "build.txt", "general.txt"})
        Copy(std::string(QV_DEMO_DEFTXT "/") + name, home + "/data/deftxt/" + name);
    Copy(QV_DEMO_DEFTXT "/../graphics/DEMO/trneff.txt", graphics + "/DEMO/trneff.txt");
    // Condition files a scenario may name: one of each kind, and a default machine.
    const char* tree = "DefineEndCondTree(0) { DefineCondState() { } }\n";
    const char* fsm = "DefineAICondTree() { DefineCondState() { } }\n";
    for (auto [name, text] : {std::pair<const char*, const char*>{"/scenario/SINGLE/FUZZ/win.end", tree},
                              {"/data/aip/a.fsm", fsm}, {"/data/aip/Def_00_0.FSM", fsm}}) {
        FILE* t = fopen((home + name).c_str(), "wb");
        Need(t && fputs(text, t) >= 0 && fclose(t) == 0, name);
    }
    g_NewMapRequest = MAP_NEWREQUEST{1, 32, 32, 8, 1};
    Need(Map_Load("") && Map_Save(g_ScenarioMapPath), "the map");
    Map_Free();
}

void QvFuzz_FreeRuleTypes(void)
{
    Build_FreeTypes();
    Tfunit_Reset();
    Effects_FreeOvlEffects();
    Weapon_FreeAll();
    Damage_FreeAll();
    ExplType_FreeAll();
    AnimType_FreeAll();
    Tfgen_Reset();
    Sprite_FreeAll();
}

