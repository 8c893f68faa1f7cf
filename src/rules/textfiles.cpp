#include "rules/textfiles.h"

#include "core/config.h"
#include "core/error.h"
#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "platform/animtype.h"
#include "map/overlay.h"
#include "platform/effects.h"
#include "rules/tfbuild.h"
#include "rules/tfgen.h"
#include "rules/tfovl.h"
#include "rules/tfunit.h"
#include "units/building.h"
#include "units/damage.h"
#include "units/expltype.h"
#include "units/weapon.h"

static void ResetAnimations(void)
{
    ExplType_FreeAll();
    AnimType_FreeAll();
}

// In the order the rules depend on each other: the footprints first, which
// the thing and building types name; explosions name animations, weapons name
// explosions and damage classes, things name animations; building types
// name all of these; the general values last.
static const RULEFILE s_ruleFiles[] = {
    {CFG_OVLEFF, Tfovl_LoadOvlEffects, Effects_FreeOvlEffects},
    {CFG_ANIMATE, Tfweapon_Load, ResetAnimations},
    {CFG_DAMAGE, Tfweapon_LoadDamageFile, Damage_FreeAll},
    {CFG_WEAPON, Tfweapon_LoadWeaponFile, Weapon_FreeAll},
    {CFG_UNITS, Tfunit_DefineUnitType, Tfunit_Reset},
    {CFG_OVERLAY, Tfovl_LoadThings, Ovl_FreeTypes},
    {CFG_BUILD, BuildingType_LoadFile, Build_FreeTypes},
    {CFG_GENERAL, Tfgen_Load, Tfgen_Reset},
};

// 1 when the loader took the file at path.
static int TryLoad(const RULEFILE* file, const char* path)
{
    TLOG(TLOG_DIAG, "Loading rule file [%s]", Fs_Resolve(path).c_str());
    if (!file->load(path)) return 0;
    TLOG(TLOG_DIAG, "Loaded rule file [%s]", Fs_Resolve(path).c_str());
    return 1;
}

int Game_LoadRuleFile(const RULEFILE* file, char* failedpath, unsigned pathsize)
{
    const char* name = g_Config.deffiles[file->deffile];
    char scenariopath[GAME_PATH] = "", defaultpath[GAME_PATH] = "";
    if (g_ScenarioDir[0]) Utils_MakePath(scenariopath, g_ScenarioDir, "", "", name, "");
    Utils_MakePath(defaultpath, g_DefTxtDir, "", "", name, "");

    // A scenario's own file that is there but broken is the error to report,
    // even when the default one fails as well.
    int scenariofailed = 0;
    if (scenariopath[0] && Fs_Exists(scenariopath)) {
        if (TryLoad(file, scenariopath)) return 1;
        scenariofailed = 1;
        if (file->reset) file->reset();
    }
    if (TryLoad(file, defaultpath)) return 1;
    Str_CopySafe(failedpath, Fs_Resolve(scenariofailed ? scenariopath : defaultpath).c_str(),
                 pathsize);
    return 0;
}

void Game_LoadTextFiles(RULEFILE_PROGRESS progress)
{
    for (const RULEFILE& file : s_ruleFiles) {
        if (progress) progress(g_Config.deffiles[file.deffile]);
        char failed[GAME_PATH];
        if (!Game_LoadRuleFile(&file, failed, sizeof failed))
            ERR_FATAL(ERRC_FATAL, "Processing failed on [%s]", failed);
    }
}
