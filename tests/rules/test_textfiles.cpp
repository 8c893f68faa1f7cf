// Where the rule files come from (the scenario's folder first, then deftxt)
// and the order the game reads them in, over the demo's own files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "game/systems.h"
#include "gen_sprites.h"
#include "map/overlay.h"
#include "platform/animtype.h"
#include "platform/effects.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "platform/sprite.h"
#include "platform/video.h"
#include "rules/textfiles.h"
#include "rules/tfgen.h"
#include "rules/tfovl.h"
#include "support/testsupport.h"
#include "units/building.h"
#include "units/expltype.h"
#include "units/parts.h"
#include "units/unit.h"
#include "units/weapon.h"

namespace {

int s_tried;

// Loads a file whose text is "good"; anything else fails.
int FakeLoad(const char* path)
{
    s_tried++;
    std::string text;
    return Fs_ReadAll(path, &text) && text == "good";
}

class RuleFiles : public testing::Test {
protected:
    QvTempDir dir;

    void SetUp() override
    {
        Cfg_SetDefaults(&g_Config);
        Str_CopySafe(g_ScenarioDir, dir.file("scn").c_str(), sizeof g_ScenarioDir);
        Str_CopySafe(g_DefTxtDir, dir.file("deftxt").c_str(), sizeof g_DefTxtDir);
    }
    void TearDown() override
    {
        g_ScenarioDir[0] = 0;
        g_DefTxtDir[0] = 0;
    }
};

// The scenario's file comes first; a broken one falls back to the default
// but is the one reported, and a file missing everywhere names the default.
TEST_F(RuleFiles, ScenarioFileFirstThenTheDefault)
{
    const struct {
        const char *scn, *def; // contents, or "" for no file
        int result, tried;
        const char* failed;
    } rows[] = {
        {"", "", 0, 1, "deftxt/weapon.txt"},
        {"", "good", 1, 1, ""},
        {"good", "good", 1, 1, ""},
        {"broken", "good", 1, 2, ""},
        {"broken", "broken too", 0, 2, "scn/weapon.txt"},
    };
    RULEFILE file{CFG_WEAPON, FakeLoad, nullptr};
    for (const auto& r : rows) {
        if (r.scn[0]) dir.write("scn/weapon.txt", r.scn);
        if (r.def[0]) dir.write("deftxt/weapon.txt", r.def);
        char failed[GAME_PATH] = "";
        s_tried = 0;
        EXPECT_EQ(Game_LoadRuleFile(&file, failed, sizeof failed), r.result) << r.scn << r.def;
        EXPECT_EQ(s_tried, r.tried) << r.scn << r.def;
        EXPECT_EQ(failed, r.failed[0] ? dir.file(r.failed) : "") << "a Linux path";
    }
}

TEST_F(RuleFiles, GameStopsWhenARuleFileLoadsFromNeitherPlace)
{
    QV_EXPECT_FATAL(Game_LoadTextFiles(nullptr),
                    "Processing failed on [" + dir.file("deftxt/ovleff.txt") + "]");
}

// The demo's rule files with its sprites, read by the game's loader between
// the common systems' init and close, as a game reads them.
class DemoRuleFiles : public testing::Test {
protected:
    QvTempDir dir;
    QvLogCapture log{TLOG_DIAG};
    char graphics[GAME_PATH], data2[GAME_PATH];

    void SetUp() override
    {
        memcpy(graphics, g_GraphicsDir, sizeof graphics);
        memcpy(data2, g_DataDir2, sizeof data2);
        Plat_InitWith(&g_PlatHeadless);
        Cfg_SetDefaults(&g_Config);
        Input_Init();
        Video_Init();
        std::filesystem::create_directories(dir.file("graphics"));
        std::filesystem::create_directories(dir.file("deftxt"));
        for (int id = 0; id < GENSPRITE_COUNT; id++) {
            GENSPRITE g;
            GenSprite_Build(id, &g);
            SPRITE_DESC d = g.Desc();
            ASSERT_TRUE(Sprite_Write(dir.file(std::string("graphics/") + GenSprite_FileName(id)).c_str(), &d));
        }
        for (const char* name : kFiles)
            std::filesystem::copy_file(std::string(QV_DEMO_DEFTXT) + "/" + name, dir.file("deftxt/") + name);
        Str_CopySafe(g_GraphicsDir, dir.file("graphics").c_str(), sizeof g_GraphicsDir);
        g_DataDir2[0] = 0;
        Str_CopySafe(g_ScenarioDir, dir.file("scn").c_str(), sizeof g_ScenarioDir);
        Str_CopySafe(g_DefTxtDir, dir.file("deftxt").c_str(), sizeof g_DefTxtDir);
        InitCommonGameSystems();
    }
    void TearDown() override
    {
        CloseCommonGameSystems();
        Video_Close();
        Input_Close();
        Plat_Close();
        g_ScenarioDir[0] = 0;
        g_DefTxtDir[0] = 0;
        memcpy(g_GraphicsDir, graphics, sizeof graphics);
        memcpy(g_DataDir2, data2, sizeof data2);
    }
    // What the scenario load does before the rule files: the terrain's
    // effects tables, which the unit types name.
    static void Load()
    {
        ASSERT_EQ(Tfovl_LoadTerrainEffects(QV_DEMO_DEFTXT "/../graphics/DEMO/trneff.txt"), 0);
        Game_LoadTextFiles(nullptr);
    }
    // The files that loaded, by the order of their "Loaded" lines.
    std::vector<std::string> Loaded() const
    {
        std::vector<std::string> files;
        const std::string text = log.text(), mark = "Loaded rule file [";
        for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + 1)) {
            const size_t from = at + mark.size();
            files.push_back(text.substr(from, text.find(']', from) - from));
        }
        return files;
    }
    // The tables the files fill, by name and by the links between them.
    static std::string Tables()
    {
        std::string out;
        for (int i = 0; i < Units_UnitTypeCount(); i++) {
            const UNITTYPE* t = Units_GetTypePtr(i);
            out += std::string("unit ") + t->symbolid + " " + t->effectsym + " hp " + std::to_string(t->maxhitpoints);
            for (int p = 0; p < t->partinfo.nrparts; p++) {
                const PARTTYPE* part = t->partinfo.parttype[p];
                out += std::string(" part ") + part->spritename;
                for (int w = 0; w < part->nrweapons; w++)
                    out += std::string(" ") + part->weapons[w].type->name +
                           (part->weapons[w].type == Weapon_FindType(part->weapons[w].type->name) ? "" : " stale");
            }
            out += "\n";
        }
        for (int i = 0; i < g_NrBuildingTypes; i++) {
            const BUILDINGTYPE* t = &g_BuildingTypes[i];
            out += std::string("building ") + t->name + " " + std::to_string(t->width) + "x" +
                   std::to_string(t->height) + (t->footprint == Effects_FindType(t->image[0]) ? "" : " stale") +
                   (t->upgradefrom ? std::string(" from ") + t->upgradefrom->name : "") +
                   (t->decoyof ? std::string(" decoy of ") + t->decoyof->name : "") + "\n";
        }
        for (int i = 0; i < Ovl_NrTypes(); i++) out += std::string("thing ") + Ovl_GetType(i)->name + "\n";
        for (const EXPLTYPE* e = g_ExplTypeList; e; e = e->next) out += std::string("explosion ") + e->name + "\n";
        out += "weapons " + std::to_string(Weapon_TypeCount()) + " parts " + std::to_string(g_NrPartTypes) +
               " sfx radius " + std::to_string(g_General.sfxradius) + "\n";
        return out;
    }
    static constexpr const char* kFiles[] = {"ovleff.txt", "animate.txt", "damage.txt", "weapon.txt",
                                             "units.txt",  "overlay.txt", "build.txt",  "general.txt"};
};

TEST_F(DemoRuleFiles, LoadInTheirOrderAndTheSameTablesAfterCloseAndInit)
{
    Load();
    std::vector<std::string> expected;
    for (const char* name : kFiles) expected.push_back(dir.file("deftxt/") + name);
    EXPECT_EQ(Loaded(), expected);
    const std::string first = Tables();
    EXPECT_NE(first.find("unit DemoTank Tracked hp 400 part UNITBODY.SPR part TURRET.SPR MachineGun\n"),
              std::string::npos) << first;
    EXPECT_NE(first.find("building DemoBigFactory 3x2 from DemoFactory\n"), std::string::npos) << first;
    EXPECT_EQ(g_General.sfxradius, 40);

    // The next game: every table emptied by the close and filled again.
    CloseCommonGameSystems();
    InitCommonGameSystems();
    EXPECT_EQ(Units_UnitTypeCount() + g_NrBuildingTypes + Ovl_NrTypes() + Weapon_TypeCount(), 0);
    Load();
    EXPECT_EQ(Tables(), first);
}

// The demo has a healer: a type whose part carries a weapon that mends
// the ground unit it is aimed at, which makes the type a healer.
class UnitsInPlayDemoRules : public DemoRuleFiles {};

TEST_F(UnitsInPlayDemoRules, TheDemoHasAHealerWhoseWeaponMendsGroundUnits)
{
    Load();
    Units_PostProcessAllTypes();   // as the scenario load does next
    const UNITTYPE* mender = Units_SymToTypePtr("DemoMender");
    ASSERT_NE(mender, nullptr);
    EXPECT_EQ(mender->abilities.canheal, 1u);
    const WEAPONTYPE* w = mender->partinfo.parttype[1]->weapons[0].type;
    ASSERT_NE(w, nullptr);
    EXPECT_LT(w->oinfo.hitpoints, 0);
    EXPECT_EQ(w->CanShootGroundUnit, 1);
    int healers = 0;
    for (int i = 0; i < Units_UnitTypeCount(); i++) healers += Units_GetTypePtr(i)->abilities.canheal;
    EXPECT_EQ(healers, 1) << "no other type mends";
}

// Each file the scenario's folder holds is read from there, the others from
// deftxt; and a file that is in neither place stops the game naming it.
TEST_F(DemoRuleFiles, EachFileFallsBackToDeftxtAndAMissingOneStopsTheGame)
{
    for (const char* name : {"ovleff.txt", "units.txt", "overlay.txt", "build.txt", "general.txt"}) {
        SCOPED_TRACE(name);
        std::filesystem::create_directories(dir.file("scn"));
        std::filesystem::copy_file(dir.file("deftxt/") + name, dir.file("scn/") + name);
        log.clear();
        Load();
        std::vector<std::string> expected;
        for (const char* file : kFiles)
            expected.push_back(dir.file(std::string(strcmp(file, name) == 0 ? "scn/" : "deftxt/") + file));
        EXPECT_EQ(Loaded(), expected);
        std::filesystem::remove(dir.file("scn/") + name);

        // Missing everywhere: the files before it have loaded.
        std::filesystem::rename(dir.file("deftxt/") + name, dir.file(name));
        CloseCommonGameSystems();
        InitCommonGameSystems();
        log.clear();
        QV_EXPECT_FATAL(Load(), "Processing failed on [" + dir.file("deftxt/") + name + "]");
        size_t before = 0;
        while (strcmp(kFiles[before], name) != 0) before++;
        EXPECT_EQ(Loaded().size(), before);
        std::filesystem::rename(dir.file(name), dir.file("deftxt/") + name);
        CloseCommonGameSystems();
        InitCommonGameSystems();
    }
}

} // namespace
