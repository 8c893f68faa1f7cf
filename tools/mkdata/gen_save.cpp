// Seeds of the saved-game loader's fuzz target: saves of its fixed world.
#include "gen_save.h"

#include <cstdio>
#include <cstring>
#include <string>

#include <unistd.h>

#include "core/gamestate.h"
#include "core/gll.h"
#include "core/rand.h"
#include "core/tfparse.h"
#include "core/uid.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/mapgrid.h"
#include "map/mapview.h"
#include "map/overlay.h"
#include "map/path.h"
#include "map/pathsrch.h"
#include "map/region.h"
#include "platform/animtype.h"
#include "platform/effects.h"
#include "platform/sortdisp.h"
#include "platform/sprite.h"
#include "rules/endcond.h"
#include "rules/tfendcnd.h"
#include "units/buildbay.h"
#include "units/building.h"
#include "units/constructq.h"
#include "units/damage.h"
#include "units/explosion.h"
#include "units/expltype.h"
#include "units/parts.h"
#include "units/projectile.h"
#include "units/swave.h"
#include "units/target.h"
#include "units/team.h"
#include "units/trail.h"
#include "units/unit.h"
#include "units/unitmove.h"
#include "units/vortex.h"
#include "units/weapon.h"

// The parts' picture: one frame of 4 x 4 pixels in 8 facings with two hot
// spots, written to a temporary file and read back under a fixed name (the
// saved game checks it against its own).
static SPRITE* PartSprite(void)
{
    uint8_t pixels[8 * 16];
    memset(pixels, 1, sizeof pixels);
    SPRITE_POINT spots[8 * 2] = {};
    const SPRITE_DESC desc{SPRITE_REGULAR, 1, 8, 4, 4, pixels, 2, spots, 0, nullptr, nullptr};
    const std::string path = "/tmp/qv-saveworld-" + std::to_string((long)getpid()) + ".spr";
    SPRITE* sprite = Sprite_Write(path.c_str(), &desc) ? Sprite_Load(path.c_str()) : nullptr;
    remove(path.c_str());
    if (sprite) {
        memset(sprite->name, 0, sizeof sprite->name);
        strcpy(sprite->name, "saveworld.spr");
    }
    return sprite;
}

// Two teams at war: armed tanks with parts, one walking a path and one
// waiting for a search, a depot each with a held tank and a service queue,
// a truck with a packed depot, a shot in flight keeping a vortex and a wave,
// an explosion, and an end-condition tree for team 0.
static void Armies(void)
{
    Team_SetDefaults();
    Team_InitTeamData();
    Units_InitAll();
    Build_InitAll();
    Units_InitConstructQueues();
    Pathsrch_Init();
    WEAPONTYPE* gun = Weapon_NewType();
    strcpy(gun->name, "Gun");
    gun->kind = WLINEAR;
    gun->oinfo.offense = 0;
    gun->CanShootGround = 1;
    gun->tilerange = 6;
    gun->range = 6 * 24;
    gun->initialspeed = gun->maxspeed = 4;
    PARTTYPE* body = Parts_NewType();
    PARTTYPE* turret = Parts_NewType();
    body->sprite = PartSprite();
    turret->sprite = PartSprite();
    turret->nrweapons = 1;
    turret->weapons[0] = {gun, 0, 0};
    UNITTYPE* tank = Units_NewType();
    strcpy(tank->symbolid, "Tank");
    strcpy(tank->description, "Tank");
    tank->partinfo.nrparts = 2;
    tank->partinfo.parttype[0] = body;
    tank->partinfo.parttype[1] = turret;
    UNITTYPE* truck = Units_NewType();
    strcpy(truck->symbolid, "Truck");
    strcpy(truck->description, "Truck");
    BUILDINGTYPE* depot = Build_NewType();
    strcpy(depot->name, "Depot");
    const uint8_t grid[2 * 2 * 2] = {};
    depot->footprint = Effects_AddOvlEffect("Depot", 2, 2, grid);
    depot->width = depot->height = 2;
    depot->bayy = 1;
    depot->maxhitpoints = 300;
    depot->flags |= BTF_CANREPAIR;
    depot->rooms[0] = 2;
    depot->rooms[1] = 10;
    depot->transportunit = truck;
    UNIT* tanks[6];
    for (int i = 0; i < 6; i++) tanks[i] = Units_NewAt(tank, i / 3, -1, 6 + (i % 3) * 2, 10 + (i / 3) * 4);
    BUILDING* home = Build_New(depot, 0, -1, 2, 2);
    BUILDING* camp = Build_New(depot, 1, -1, 19, 19);
    Build_HoldAddUnit(home, Units_NewAt(tank, 0, -1, 4, 5));
    Build_ServiceQueueJoin(camp, tanks[4]);
    Build_ServiceQueueJoin(camp, tanks[5]);
    UNIT* t = Units_NewAt(truck, 0, -1, 3, 20);
    t->building_package = new BUILDINGPACKAGE{depot, {}};
    for (int x = 7; x < 12; x++) Path_Append(&tanks[0]->move.path, x, 10);
    Units_StartPathTo(tanks[1], 20, 3, 0);
    TARGET ground;
    Target_Setup(&ground, FM_GROUND, nullptr, nullptr, 10, 14);
    PROJECTILEID shot;
    if (Weapon_MakeProjectile(&shot, gun, &ground, tanks[2]->basepart->partup)) {
        Vortex_Open(shot.projectile, shot.projectile->x, shot.projectile->y);
        Swave_Start(shot.projectile, shot.projectile->x, shot.projectile->y);
    }
    // A route of team 0 with a fire waypoint behind its move waypoint.
    Trail_AddWaypoint(&teamdata[0].gtrails[0], WPT_MOVE, 8, 8, 0);
    Trail_AddWaypoint(&teamdata[0].gtrails[0], WPT_FIRE, 10, 14, 0);
    EXPLID blast;
    Expl_MakeExplosion(&blast, Expl_AddType("Blast"), nullptr, 0, 0, 0, 200, 200, nullptr);
    static const char tree[] =
        "DefineEndCondTree(0)\n{\n Description(\"Hold out.\")\n DefineCondState()\n {\n"
        "  DefineCondition(0 0 0 0 \"Held\")\n  {\n   CritOR()\n   {\n    CritTimer(500)\n"
        "    CritHoldRegion(51 30 0)\n   }\n  }\n }\n}\n";
    TF_PARSER* parser = TF_OpenText("fuzzworld.end", tree, sizeof tree - 1);
    char first[TF_FIELD];
    if (TF_GetToken(parser, first, sizeof first)) Tfendcnd_Load(parser, ENDCOND_END, 0);
    TF_Close(parser);
    Endcond_EnterInitialStates();
}

void Mkdata_SaveWorldOpen(void)
{
    strcpy(g_ScenarioName, "FuzzWorld");
    g_NewMapRequest = MAP_NEWREQUEST{1, 24, 24, 4, 1};
    Map_Load(nullptr);
    Effects_Init();
    Mapgrid_Init();
    Fog_Init();
    SortDisp_Init();
    Sprite_InitAll();
    Endcond_Init();
    Damage_Init();
    Damage_AddOffense(Damage_OffenseIndex("A0"));
    Weapon_Init();
    AnimType_Init();
    ExplType_Init();
    Parts_Init();
    Projectile_Init();
    Vortex_Init();
    Swave_Init();
    Expl_Init();
    Ovl_Init();
    OVERLAYTYPE* rock = Ovl_NewType();
    strcpy(rock->name, "Rock");
    rock->sx = rock->sy = 24;
    rock->level = 2;
    const int at[][2] = {{3, 3}, {4, 3}, {20, 5}, {12, 18}, {19, 20}};
    for (const auto& p : at) Ovl_New(0, -1, -1, 2, nullptr, 24, 24, p[0], p[1]);
    REGION r{51, 0, 24, 24, 240, 120, {}};
    Region_Add(&r);
    r = REGION{52, 1, 300, 300, 72, 0, {5, 0, 0, 0, 0, 0, 0, 0, 9}};
    Region_Add(&r);
    g_MapView = MAPVIEW{48, 72, 2, 3, 0, 0};
    g_UpdateCount = 50;
    Rand_SetPosition(17);
    Armies();
}

void Mkdata_SaveWorldClose(void)
{
    Pathsrch_Close();
    Build_CloseAll();
    Units_CloseAll();
    Path_CleanUp();   // the path nodes' spares
    Team_CloseTeamData();
    Trail_Shutdown();  // the waypoints' spares
    Region_FreeAll();
    Ovl_FreeAll();
    Expl_Close();
    Swave_Close();
    Vortex_Close();
    Projectile_Close();
    Parts_Close();
    ExplType_Close();
    AnimType_Close();
    Weapon_Close();
    Damage_Close();
    Endcond_Close();
    Sprite_CloseAll();
    SortDisp_Close();
    Fog_Close();
    Mapgrid_Close();
    Effects_Close();
    Map_Free();
}

#ifndef MKDATA_FUNCTIONS_ONLY
#include <cstdio>
#include <string>

#include <vector>

#include "core/crc32.h"
#include "mkdata.h"
#include "save/save.h"
#include "save/savefield.h"
#include "save/saveget.h"
#include "save/savetype.h"

static uint32_t Get32(const std::string& s, size_t at)
{
    uint32_t v = 0;
    for (int i = 0; i < 4; i++) v |= (uint32_t)(uint8_t)s[at + i] << (8 * i);
    return v;
}

static void Put32(std::string& s, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; i++) s[at + i] = (char)(v >> (8 * i));
}

// The offset of a field in a record of a local block's stored form.
static size_t StoredAt(int type, const char* field)
{
    const SAVEFORM* form = SaveForm_Get(type, 0) ? SaveForm_Get(type, 0) : SaveForm_Get(type, 1);
    size_t at = 0;
    for (int i = 0; form && i < form->nfields; i++) {
        if (strcmp(form->fields[i].name, field) == 0) return at;
        at += SaveField_Stored(&form->fields[i]);
    }
    return 0;
}

struct SeedBlock {
    size_t at;  // of the marker
    int type;
    uint32_t id, size;
};

static std::vector<SeedBlock> Blocks(const std::string& s)
{
    std::vector<SeedBlock> out;
    size_t at = 32;
    for (int section = 0; section < 2 && s.size() >= at + 4; section++) {
        const uint32_t n = Get32(s, at);
        at += 4;
        for (uint32_t i = 0; i < n && s.size() >= at + 16; i++) {
            const uint32_t flags = Get32(s, at + 4);
            const uint32_t size = (flags & 0x30000000) == 0x30000000 ? 0 : flags & 0xFFFFF;
            out.push_back({at, (int)(flags >> 20 & 0xFF), Get32(s, at + 8), size});
            at += 16 + size;
        }
    }
    return out;
}

// Damaged games the loader once took on their word (their sums are repaired
// by the target's switch): a pooled record's block holding two records, a
// fire waypoint that is its own prev, counters at the value their next step
// overflows from, a unit's and a part's numbers past what play makes; and,
// naming the scenario beside the world's, pointers to no block or a block of
// another kind and a machine standing in state 99.
static std::vector<std::pair<std::string, std::string>> Damaged(const std::string& good, const std::string& other)
{
    std::vector<std::pair<std::string, std::string>> out;
    int doubled[SAVE_TYPE_COUNT] = {}, units = 0, parts = 0;
    uint32_t narrowed = 0;
    auto set = [&](const std::string& from, const SeedBlock& b, int type, const char* field, uint32_t v) {
        std::string bytes = from;
        Put32(bytes, b.at + 16 + StoredAt(type, field), v);
        return bytes;
    };
    for (const SeedBlock& b : Blocks(good)) {
        if (b.size && Save_LocalRecords(b.type) && !doubled[b.type]++) {
            std::string bytes = good;
            bytes.insert(b.at + 16 + b.size, good.substr(b.at + 16, b.size));
            Put32(bytes, b.at + 4, (Get32(good, b.at + 4) & ~0xFFFFFu) | 2 * b.size);
            out.emplace_back(std::string("/two-") + Save_TypeName(b.type) + ".sav", bytes);
        }
        if (b.type == ST_WAYPOINT && Get32(good, b.at + 16) == WPT_FIRE)
            out.emplace_back("/prev-cycle.sav", set(good, b, ST_WAYPOINT, "w->prev", b.id));
        if (b.type == ST_PROJECTILE) {
            out.emplace_back("/anim-wait.sav", set(good, b, ST_PROJECTILE, "anim.wait", 0x80000000u));
            out.emplace_back("/hitwait.sav", set(good, b, ST_PROJECTILE, "hitwait", 0x7FFFFFFFu));
            out.emplace_back("/aimx.sav", set(good, b, ST_PROJECTILE, "aimx", 0x80000000u));
            out.emplace_back("/fy.sav", set(good, b, ST_PROJECTILE, "fy", 0x7FFFFFFFu));
        }
        if (b.type == ST_UNIT && !units++) {
            out.emplace_back("/unit-basefacing.sav", set(good, b, ST_UNIT, "move.basefacing", 0x7FFFFFFFu));
            out.emplace_back("/unit-hitpoints.sav", set(good, b, ST_UNIT, "hitpoints", 0x7FFFFFFFu));
            out.emplace_back("/unit-pathcount.sav", set(good, b, ST_UNIT, "move.path.count", 0x7FFFFFFFu));
        }
        if (b.type == ST_PART && !parts++) {
            out.emplace_back("/part-ammo.sav", set(good, b, ST_PART, "weapon[0].ammo", 0x80000000u));
            out.emplace_back("/part-unused.sav", set(good, b, ST_PART, "id", 0xFFFFFFFFu));
        }
        if (b.type == ST_SWave) {
            out.emplace_back("/wave-age.sav", set(good, b, ST_SWave, "age", 0x7FFFFFFFu));
            out.emplace_back("/wave-x.sav", set(good, b, ST_SWave, "x", 0x7FFFFFFFu));
        }
        if (b.type == ST_OVERLAY)
            out.emplace_back("/overlay-usecount.sav", set(good, b, ST_OVERLAY, "usecount", 0x7FFFFFFFu));
        if (b.type == ST_CONDTREE) {
            out.emplace_back("/tree-elapsed.sav", set(good, b, ST_CONDTREE, "elapsed", 0x7FFFFFFFu));
            out.emplace_back("/other-state99.sav", set(other, b, ST_CONDTREE, "current", 99));
            out.emplace_back("/other-nowhere.sav", set(other, b, ST_CONDTREE, "t->condstates",
                                                       SaveId_Make(ST_CONDSTATEGLLHEADER, 0xFFFF0)));
            out.emplace_back("/other-wrongkind.sav", set(other, b, ST_CONDTREE, "t->condstates", b.id));
        }
        // A building's work left, a team's counter, a shot's heading, a wave
        // bubble's radius and the search's goal row past what play makes; a
        // job with more left than in all, a shot counting keepers it hasn't,
        // a vortex node naming no vortex.
        static const struct {
            int type;
            const char* field;
            uint32_t value;
            const char* name;
        } kNarrowed[] = {
            {ST_BUILDING, "prodleft", 0x80000000u, "/prodleft.sav"},
            {ST_TEAM_DATA, "stats.kills_units", 0x7FFFFFFFu, "/team-kills.sav"},
            {ST_PROJECTILE, "heading", 0x80000000u, "/heading.sav"},
            {ST_SWaveNode, "radius", 0x7FFFFFFFu, "/bubble-radius.sav"},
            {ST_PATHSRCH, "goaly", 0x7FFFFFFFu, "/search-goaly.sav"},
            {ST_BUILDING, "prodleft", 0x7FFFFFFFu, "/job-left.sav"},
            {ST_PROJECTILE, "held", 7, "/shot-keepers.sav"},
            {ST_VORTEXGLLNODE, "node->element", SAVEID_NULL, "/vortex-node-empty.sav"},
        };
        for (size_t i = 0; i < sizeof kNarrowed / sizeof kNarrowed[0]; i++) {
            const auto& n = kNarrowed[i];
            if (b.type == n.type && !(narrowed >> i & 1)) {
                narrowed |= 1u << i;
                out.emplace_back(n.name, set(good, b, n.type, n.field, n.value));
            }
        }
    }
    return out;
}

static int Seeds(const std::string& target, const std::string& dir)
{
    if (target != "fuzz_save") return 1;
    Mkdata_SaveWorldOpen();
    std::string tmp = dir + "/save.tmp";
    int ok = Save_Game(tmp.c_str(), 0);
    Mkdata_SaveWorldClose();
    std::string bytes;
    if (ok) {
        FILE* f = fopen(tmp.c_str(), "rb");
        int c;
        while (f && (c = fgetc(f)) != EOF) bytes.push_back((char)c);
        if (f) fclose(f);
        remove(tmp.c_str());
    }
    // The same game naming the scenario beside the world's: the in-game
    // load sends it to state 6.
    std::string other = bytes;
    if (other.size() >= 32) {
        memset(&other[12], 0, 16);
        memcpy(&other[12], "OTHER", 5);
        const uint32_t crc = Crc32_Block(other.data() + 4, 24);
        for (int i = 0; i < 4; i++) other[28 + i] = (char)(crc >> (8 * i));
    }
    // The first byte is the target's switch: 1 repairs every CRC.
    const struct {
        char flag;
        const char* name;
        const std::string& bytes;
    } plain[] = {{'\0', "/plain.sav", bytes}, {'\1', "/repaired.sav", bytes}, {'\1', "/other.sav", other}};
    std::vector<std::pair<std::string, std::string>> damaged = Damaged(bytes, other);
    struct Seed {
        char flag;
        std::string name;
        const std::string& bytes;
    };
    std::vector<Seed> seeds;
    for (const auto& seed : plain) seeds.push_back({seed.flag, seed.name, seed.bytes});
    for (const auto& d : damaged) seeds.push_back({'\1', d.first, d.second});
    for (const auto& seed : seeds) {
        std::string path = dir + seed.name;
        FILE* f = ok ? fopen(path.c_str(), "wb") : nullptr;
        ok = f && fputc(seed.flag, f) != EOF && fwrite(seed.bytes.data(), 1, seed.bytes.size(), f) == seed.bytes.size();
        if (f) ok = fclose(f) == 0 && ok;
    }
    if (!ok) fprintf(stderr, "mkdata: cannot write the seeds of %s in [%s]\n", target.c_str(), dir.c_str());
    return ok;
}

MKDATA_REGISTER(save, "save", nullptr, Seeds);
#endif
