// The save type table and its counters.
#include "save/savetype.h"

SAVETYPE Save_TypeTable[SAVE_TYPE_COUNT] = {
    {"NONE", 0, 0, 0},
    {"VOID", 0, 0, 0},
    {"NULL", 0, 0, 0},
    {"ULONG", 4, 0, 0},
    {"ANIMITERATOR", 32, 0, 0},
    {"ANIMTYPE", 92, 0, 0},
    {"BITMAP", 24, 0, 0},
    {"BUILDID", 8, 0, 0},
    {"BUILDING", 408, 0, 0},
    {"BUILDINGPACKAGE", 8, 0, 0},
    {"BUILDINGTYPE", 668, 0, 0},
    {"DISPLAYELEMENT", 36, 0, 0},
    {"EXPL", 68, 0, 0},
    {"EXPLID", 8, 0, 0},
    {"EXPLTYPE", 76, 0, 0},
    {"HEALTHEXPL", 16, 0, 0},
    {"MAPGRID", 156, 0, 0},
    {"MINIBUILDING", 44, 0, 0},
    {"OVERLAY", 148, 0, 0},
    {"OVERLAYTYPE", 388, 0, 0},
    {"PART", 192, 0, 0},
    {"PARTDISPLAYINFO", 16, 0, 0},
    {"PARTSTATEINFO", 36, 0, 0},
    {"PARTTYPE", 100, 0, 0},
    {"PQELEMENT", 4, 0, 0},
    {"PRIQUEUE", 12, 0, 0},
    {"PROJECTILE", 152, 0, 0},
    {"PROJECTILEID", 8, 0, 0},
    {"SOUND_EFFECT", 8, 0, 0},
    {"STANDINGORDERINFO", 56, 0, 0},
    {"TARGET", 20, 0, 0},
    {"TRAIL", 8, 0, 0},
    {"UNIT", 552, 0, 0},
    {"UNITID", 8, 0, 0},
    {"UNITLIST", 12, 0, 0},
    {"UNITLISTELEM", 12, 0, 0},
    {"UNITTYPE", 1284, 0, 0},
    {"UNITTYPE_ABILITIES", 224, 0, 0},
    {"WAYPOINT", 24, 0, 0},
    {"WEAPONTYPE", 240, 0, 0},
    {"TEAM_DATA", 568, 0, 0},
    {"squad", 84, 0, 0},
    {"PIXELARRAY", 3, 0, 0},
    {"PATHNODE", 40, 0, 0},
    {"EFFECTTYPE", 360, 0, 0},
    {"SPRITE", 332, 0, 0},
    {"BYTEMAP", 1540, 0, 0},
    {"MAP_ELEMENT", 24, 0, 0},
    {"ANIMFRAME", 16, 0, 0},
    {"EXPLANIMTYPE", 24, 0, 0},
    {"EXPLANIM", 48, 0, 0},
    {"PATHSRCH", 72316, 0, 0},
    {"SHELLINFO", 440, 0, 0},
    {"BUILDING_QUEUE", 84, 0, 0},
    {"APUNITINFO", 28, 0, 0},
    {"APGLLHEADER", 20, 0, 0},
    {"APGLLNODE", 12, 0, 0},
    {"QUEUENODE", 12, 0, 0},
    {"QUEUE_ITEM", 12, 0, 0},
    {"VORTEXGLLHEADER", 20, 0, 0},
    {"VORTEXGLLNODE", 12, 0, 0},
    {"VORTEX", 32, 0, 0},
    {"SWave", 56, 0, 0},
    {"SWaveNode", 12, 0, 0},
    {"CONDTREE", 20, 0, 0},
    {"CONDSTATEGLLHEADER", 20, 0, 0},
    {"CONDSTATEGLLNODE", 12, 0, 0},
    {"CONDSTATE", 68, 0, 0},
    {"CONDITIONGLLHEADER", 20, 0, 0},
    {"CONDITIONGLLNODE", 12, 0, 0},
    {"CONDITION", 80, 0, 0},
    {"REGIONADJUSTGLLHEADER", 20, 0, 0},
    {"REGIONADJUSTGLLNODE", 12, 0, 0},
    {"REGIONADJUST", 20, 0, 0},
    {"TRIGSFGLLHEADER", 20, 0, 0},
    {"TRIGSFGLLNODE", 12, 0, 0},
    {"TRIGSF", 8, 0, 0},
    {"GIVESFGLLHEADER", 20, 0, 0},
    {"GIVESFGLLNODE", 12, 0, 0},
    {"GIVESF", 8, 0, 0},
    {"GIVEBONUSCREDITSGLLHEADER", 20, 0, 0},
    {"GIVEBONUSCREDITSGLLNODE", 12, 0, 0},
    {"GIVEBONUSCREDITS", 8, 0, 0},
    {"GAMEMSG_DATAGLLHEADER", 20, 0, 0},
    {"GAMEMSG_DATAGLLNODE", 12, 0, 0},
    {"GAMEMSG_DATA", 64, 0, 0},
    {"AIP_struct", 2240, 0, 0},
    {"ALLIANCESET", 36, 0, 0},
    {"CRITERIA", 28, 0, 0},
    {"REGIONID", 8, 0, 0},
    {"REGION", 60, 0, 0},
    {"CRITNODE_BOOLEAN", 4, 0, 0},
    {"CRITNODE_UNARY", 8, 0, 0},
    {"CRITNODE_USEREGION", 24, 0, 0},
    {"CRITNODE_BUILDITEM", 24, 0, 0},
    {"CRITNODE_DESTROYITEM", 20, 0, 0},
    {"CRITNODE_COLLECTRESOURCE", 4, 0, 0},
    {"CRITNODE_TIMER", 8, 0, 0},
    {"CRITNODE_STEALPLAN", 8, 0, 0},
    {"CRITNODE_HAVECREDITS", 4, 0, 0},
    {"CRITNODE_KILLENEMY", 8, 0, 0},
    {"CNBOOLGLLHEADER", 20, 0, 0},
    {"CNBOOLGLLNODE", 12, 0, 0},
    {"CNDESTITEMGLLHEADER", 20, 0, 0},
    {"CNDESTITEMGLLNODE", 12, 0, 0},
    {"RELEASESFGLLHEADER", 20, 0, 0},
    {"RELEASESFGLLNODE", 12, 0, 0},
    {"IDLISTGLLHEADER", 20, 0, 0},
    {"IDLISTGLLNODE", 12, 0, 0},
    {"CONDTREEPTR", 4, 0, 0},
};

static int validType(int type) { return type >= 0 && type < SAVE_TYPE_COUNT; }

const char* Save_TypeName(int type) { return validType(type) ? Save_TypeTable[type].name : "Unknown Type"; }
uint32_t Save_TypeSize(int type) { return validType(type) ? Save_TypeTable[type].size : 0; }
uint32_t Save_TypeMissing(int type) { return validType(type) ? Save_TypeTable[type].missing : 0; }
uint32_t Save_TypeBlocks(int type) { return validType(type) ? Save_TypeTable[type].blocks : 0; }

void Save_TypeAddMissing(int type)
{
    if (validType(type)) Save_TypeTable[type].missing++;
}

void Save_TypeAddBlock(int type)
{
    if (validType(type)) Save_TypeTable[type].blocks++;
}

void Save_TypeResetCounts(void)
{
    for (SAVETYPE& t : Save_TypeTable) t.missing = t.blocks = 0;
}
