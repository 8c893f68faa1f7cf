// The rule files' loaders over arbitrary text: the first byte picks the
// animation file, the damage table, the weapon file, the general settings,
// one of the two effect files, the thing file, the building file or the unit
// file (a digit from '1' picks the file of that place in the table, so that
// the seeds keep their reader as the table grows; other bytes pick by
// remainder). Each input meets what the game has when it reads that file: the demo
// sprites on disk and the demo's own rule files read before it, so that
// sprite frames, explosion names and offense classes in the input are found,
// not only refused.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/gamestate.h"
#include "core/tfparse.h"
#include "core/utils.h"
#include "fuzzsupport.h"
#include "gen_sprites.h"
#include "platform/animtype.h"
#include "platform/sprite.h"
#include "rules/tfbuild.h"
#include "rules/tfgen.h"
#include "rules/tfovl.h"
#include "rules/tfunit.h"
#include "map/overlay.h"
#include "platform/effects.h"
#include "units/building.h"
#include "units/damage.h"
#include "units/expltype.h"
#include "units/unit.h"
#include "units/weapon.h"

typedef int (*RULE_LOADER)(const char* path);

// The terrain-effects reader answers -1 for a file it can't open.
static int LoadTerrainEffects(const char* path)
{
    return Tfovl_LoadTerrainEffects(path) == 0;
}

// Building types name explosions, defences, thing types, unit types and
// footprints, which are named after a type's first image (the demo's grids
// name its building sprites).
static int LoadBuildings(const char* path)
{
    std::string deftxt = QV_DEMO_DEFTXT;
    if (!Tfweapon_Load((deftxt + "/animate.txt").c_str()) ||
        !Tfweapon_LoadDamageFile((deftxt + "/damage.txt").c_str()) ||
        !Tfovl_LoadOvlEffects((deftxt + "/ovleff.txt").c_str()) ||
        !Tfovl_LoadThings((deftxt + "/overlay.txt").c_str()))
        abort();
    UNITTYPE* tank = Units_NewType();
    if (!tank) abort();
    Str_CopySafe(tank->symbolid, "Tank", sizeof tank->symbolid);
    return BuildingType_LoadFile(path);
}

// In the order the game reads them.
static const struct {
    const char* name;
    RULE_LOADER load;
    int before; // how many of the files above it names into
} s_files[] = {
    {"animate.txt", Tfweapon_Load, 0},
    {"damage.txt", Tfweapon_LoadDamageFile, 1},
    {"weapon.txt", Tfweapon_LoadWeaponFile, 2},
    {"general.txt", Tfgen_Load, 0},
    {"ovleff.txt", Tfovl_LoadOvlEffects, 0},
    {"trneff.txt", LoadTerrainEffects, 0},
    {"overlay.txt", Tfovl_LoadThings, 1},
    {"build.txt", LoadBuildings, 0},
    {"units.txt", Tfunit_DefineUnitType, 3},
};

// Writes the demo sprites into the process's directory and points the sprite
// loader at them; once.
static void WriteDemoSprites(void)
{
    static bool done = false;
    if (done) return;
    done = true;
    std::string graphics = std::string(QvFuzz_Dir()) + "/graphics";
    Str_CopySafe(g_GraphicsDir, graphics.c_str(), sizeof g_GraphicsDir);
    g_DataDir2[0] = '\0';
    std::error_code ec;
    std::filesystem::create_directories(graphics, ec);
    for (int id = 0; id < GENSPRITE_COUNT; id++) {
        GENSPRITE g;
        GenSprite_Build(id, &g);
        SPRITE_DESC d = g.Desc();
        std::string name = std::string("graphics/") + GenSprite_FileName(id);
        if (!Sprite_Write(QvFuzz_Path(name.c_str()), &d)) {
            fprintf(stderr, "fuzz: cannot write the demo sprite %s\n", name.c_str());
            abort();
        }
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzz_Setup();
    WriteDemoSprites();
    QvFuzzHeapCheck check;
    if (size < 1) return 0;
    const int count = (int)(sizeof s_files / sizeof s_files[0]);
    int which = data[0] >= '1' && data[0] - '1' < count ? data[0] - '1' : data[0] % count;
    const char* path = QvFuzz_WriteTemp(".txt", data + 1, size - 1);
    if (!path) return 0;
    Effects_Init();
    Ovl_Init();
    QV_FUZZ_GUARD({
        for (int i = 0; i < s_files[which].before; i++) {
            std::string demo = std::string(QV_DEMO_DEFTXT "/") + s_files[i].name;
            if (!s_files[i].load(demo.c_str())) abort();
        }
        // Unit types name the demo terrain's effects tables as well.
        if (s_files[which].load == Tfunit_DefineUnitType)
            LoadTerrainEffects(QV_DEMO_DEFTXT "/../graphics/DEMO/trneff.txt");
        s_files[which].load(path);
    });
    Tfunit_Reset();
    Tfgen_Reset();
    Build_FreeTypes();
    Units_FreeTypes();
    Ovl_FreeAll();
    Effects_Close();
    Weapon_FreeAll();
    Damage_FreeAll();
    ExplType_FreeAll();
    AnimType_FreeAll();
    Sprite_FreeAll();
    return 0;
}
