// The configuration reader.
//
// Each section is a table of {keyword, field or handler}; a keyword line is
// looked up in its section's table and either stored straight into the record
// (numbers, texts, log switches) or handed to a handler for values that need
// translating (entry point, start category) or that open a nested block
// (SerialSettings). Keywords and section names are matched exactly, with case,
// so a misspelt key is reported rather than silently ignored.
#include "core/config.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <strings.h>

#include "core/error.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "core/utils.h"

QCONFIG g_Config;

namespace {

enum CFG_KIND {
    CK_INT,   // TF_GetInt into an int field
    CK_TEXT,  // one token into a text field, refused when longer than the field
    CK_BIT,   // a switch: nonzero sets bit in an unsigned field, zero clears it
    CK_CALL,  // a handler reads the value itself
};

typedef void (*CFG_HANDLER)(TF_PARSER* parser, QCONFIG* cfg);

struct CFG_KEY {
    const char* key;
    CFG_KIND kind;
    size_t offset;  // the field in QCONFIG (CK_INT, CK_TEXT, CK_BIT)
    size_t size;    // bytes of a text field
    unsigned bit;   // CK_BIT
    CFG_HANDLER handler;
};

struct CFG_SECTION {
    const char* name;
    const CFG_KEY* keys;
    size_t count;
};

// A fatal error leaves by a throw when a test or fuzz hook is installed; the
// parser must not leak on that path.
struct ParserCloser {
    void operator()(TF_PARSER* parser) const { TF_Close(parser); }
};
typedef std::unique_ptr<TF_PARSER, ParserCloser> PARSER_PTR;

const char* const s_EntryNames[] = {"SHELL", "GAME", "MAPEDIT", "MULTI"};
const char* const s_CategoryNames[] = {"FIXED", "SINGLE", "MULTI", "CAMPAIGN"};

// The value token into a field of size bytes. A value cut to fit would name
// another directory or file without a word, so a longer one is refused.
void ReadValueToken(TF_PARSER* parser, const char* key, char* field, size_t size)
{
    char value[TF_LONGTOKEN];
    if (!TF_GetValue(parser, value, sizeof value)) TF_ReportExpected(parser, "value", "EOF");
    if (strlen(value) >= size)
        TF_Error(parser, "Value of %s longer than %d characters", key, (int)size - 1);
    memcpy(field, value, strlen(value) + 1);
}

int ReadIntValue(TF_PARSER* parser)
{
    char value[TF_FIELD];
    if (!TF_GetValue(parser, value, sizeof value)) TF_ReportExpected(parser, "value", "EOF");
    return Str_ToInt(value);
}

void EntryPointHandler(TF_PARSER* parser, QCONFIG* cfg)
{
    char value[TF_FIELD];
    ReadValueToken(parser, "SetEntryPoint", value, sizeof value);
    for (int i = 0; i < 4; i++) {
        if (strcasecmp(value, s_EntryNames[i]) == 0) {
            cfg->entrypoint = i;
            return;
        }
    }
    TF_Error(parser, "Unknown entry point [%s]", value);
}

void StartCategoryHandler(TF_PARSER* parser, QCONFIG* cfg)
{
    char value[TF_FIELD];
    ReadValueToken(parser, "SetStartCategory", value, sizeof value);
    for (int i = 0; i < 4; i++) {
        if (strcasecmp(value, s_CategoryNames[i]) == 0) {
            cfg->startcategory = i;
            return;
        }
    }
    // A single digit 0..3 names the category by number.
    if (value[0] >= '0' && value[0] <= '3' && value[1] == '\0') {
        cfg->startcategory = value[0] - '0';
        return;
    }
    TF_Error(parser, "Unknown start category [%s]", value);
}

void PlayerNameHandler(TF_PARSER* parser, QCONFIG*)
{
    ReadValueToken(parser, "SetPlayerName", g_CfgPlayerName, sizeof g_CfgPlayerName);
}

void SerialSettingsHandler(TF_PARSER* parser, QCONFIG* cfg);

#define CFG_INT(key, field) {key, CK_INT, offsetof(QCONFIG, field), 0, 0, nullptr}
#define CFG_TEXT(key, field) {key, CK_TEXT, offsetof(QCONFIG, field), sizeof(QCONFIG::field), 0, nullptr}
#define CFG_DEFFILE(key, index)                                                                    \
    {key, CK_TEXT, offsetof(QCONFIG, deffiles) + size_t(index) * size_t(TF_FIELD), TF_FIELD, 0, nullptr}
#define CFG_BIT(key, field, bit) {key, CK_BIT, offsetof(QCONFIG, field), 0, bit, nullptr}
#define CFG_CALL(key, fn) {key, CK_CALL, 0, 0, 0, fn}

const CFG_KEY s_EngineKeys[] = {
    CFG_TEXT("SetDataDir", datadir),
    CFG_TEXT("SetSecondDataDir", datadir2),
    CFG_TEXT("SetScenarioDir", scenariodir),
    CFG_TEXT("SetSaveDir", savedir),
    CFG_DEFFILE("SetUnitsFile", CFG_UNITS),
    CFG_DEFFILE("SetBuildFile", CFG_BUILD),
    CFG_DEFFILE("SetWeaponFile", CFG_WEAPON),
    CFG_DEFFILE("SetOverlayFile", CFG_OVERLAY),
    CFG_DEFFILE("SetAnimateFile", CFG_ANIMATE),
    CFG_DEFFILE("SetDamageFile", CFG_DAMAGE),
    CFG_DEFFILE("SetTrnEffFile", CFG_TRNEFF),
    CFG_DEFFILE("SetOvlEffFile", CFG_OVLEFF),
    CFG_DEFFILE("SetGeneralFile", CFG_GENERAL),
    CFG_DEFFILE("SetGameMsgFile", CFG_GAMEMSG),
    CFG_CALL("SetEntryPoint", EntryPointHandler),
    CFG_TEXT("SetStartScenario", startscenario),
    CFG_CALL("SetStartCategory", StartCategoryHandler),
    CFG_INT("SetStartTeam", startteam),
    CFG_INT("SetWindowed", windowed),
    CFG_INT("SetDebugFlags", debugflags),
    CFG_INT("SetMonoDisplay", monodisplay),
    CFG_INT("SetRateDisplay", ratedisplay),
    CFG_INT("DisableAI", disableai),
    CFG_INT("DisableEndConditions", disableendconditions),
    CFG_INT("EnableFSMMessages", enablefsmmessages),
    CFG_TEXT("SetOrderRecord", orderrecord),
    CFG_TEXT("SetOrderPlayback", orderplayback),
    CFG_INT("SetOrderSkip", orderskip),
    CFG_INT("SetIntroducedNetLoss", netloss),
    CFG_INT("LoadSavedGame", loadsavedgame),
    CFG_TEXT("LoadSavedGameName", loadsavedgamename),
};

const CFG_KEY s_LoggingKeys[] = {
    CFG_TEXT("SetLogFile", logfile),
    CFG_BIT("EnableErrors", logmask, TLOG_ERROR),
    CFG_BIT("EnableWarnings", logmask, TLOG_WARNING),
    CFG_BIT("EnableDiagnostics", logmask, TLOG_DIAG),
    CFG_BIT("EnableChannel", logmask, TLOG_CHANNEL),
    CFG_BIT("EnableSave", logmask, TLOG_SAVE),
    CFG_BIT("EnableAI", logmask, TLOG_AI),
    CFG_BIT("EnableScheduler", logmask, TLOG_SCHEDULE),
    CFG_BIT("EnableSetup", logmask, TLOG_SETUP),
    CFG_BIT("EnableMono", logmask, TLOG_MONO),
    CFG_BIT("EnableMemory", logmask, TLOG_MEMORY),
    CFG_BIT("EnableNetErrors", logmask, TLOG_NERR),
    CFG_BIT("EnableNetWarnings", logmask, TLOG_NWARN),
    CFG_BIT("EnableNetDiagnostics", logmask, TLOG_NDIAG),
    CFG_BIT("EnableNetStatistics", logmask, TLOG_NSTAT),
    CFG_BIT("ShowLogMarker", logoptions, TLOGP_MARKER),
    CFG_BIT("ShowLogCategory", logoptions, TLOGP_CATEGORY),
    CFG_BIT("ShowLogFile", logoptions, TLOGP_FILE),
    CFG_BIT("ShowLogLine", logoptions, TLOGP_LINE),
    CFG_BIT("ShowLogTime", logoptions, TLOGP_TIME),
};

const CFG_KEY s_UserKeys[] = {
    CFG_INT("SetDefaultMove", defaultmove),
    CFG_INT("SetDefaultFire", defaultfire),
    CFG_INT("SetInfoDelay", infodelay),
};

const CFG_KEY s_MultiKeys[] = {
    CFG_CALL("SetPlayerName", PlayerNameHandler),
    CFG_TEXT("SetZephnetServer", zephnetserver),
    CFG_TEXT("SetModem", modem),
    CFG_TEXT("SetModemPorts", modemports),
    CFG_TEXT("SetSerialPorts", serialports),
    CFG_CALL("SerialSettings", SerialSettingsHandler),
};

const CFG_KEY s_SerialKeys[] = {
    CFG_TEXT("SetPort", serialport),
    CFG_TEXT("SetBaud", serialbaud),
};

#define CFG_TABLE(keys) keys, sizeof(keys) / sizeof(keys[0])

const CFG_SECTION s_Sections[] = {
    {"EngineSetup", CFG_TABLE(s_EngineKeys)},
    {"LoggingPreferences", CFG_TABLE(s_LoggingKeys)},
    {"UserPreferences", CFG_TABLE(s_UserKeys)},
    {"MultiPlayerConfiguration", CFG_TABLE(s_MultiKeys)},
};

const CFG_SECTION s_SerialBlock = {"SerialSettings", CFG_TABLE(s_SerialKeys)};

const CFG_KEY* FindKey(const CFG_SECTION* section, const char* key)
{
    for (size_t i = 0; i < section->count; i++) {
        if (strcmp(section->keys[i].key, key) == 0) return &section->keys[i];
    }
    return nullptr;
}

void ApplyKey(TF_PARSER* parser, const CFG_KEY* entry, QCONFIG* cfg)
{
    char* field = reinterpret_cast<char*>(cfg) + entry->offset;
    switch (entry->kind) {
    case CK_INT: {
        int number = ReadIntValue(parser);
        memcpy(field, &number, sizeof number);
        break;
    }
    case CK_TEXT:
        ReadValueToken(parser, entry->key, field, entry->size);
        break;
    case CK_BIT: {
        int on = ReadIntValue(parser);
        unsigned bits;
        memcpy(&bits, field, sizeof bits);
        bits = on ? (bits | entry->bit) : (bits & ~entry->bit);
        memcpy(field, &bits, sizeof bits);
        break;
    }
    case CK_CALL:
        entry->handler(parser, cfg);
        break;
    }
}

// Reads "{ key value ... }" with the keys of section; the name of the block
// has already been read.
void ReadBlock(TF_PARSER* parser, const CFG_SECTION* section, QCONFIG* cfg)
{
    char key[TF_FIELD];
    if (!TF_ExpectOpenBrace(parser)) TF_ReportExpected(parser, "{", "EOF");
    for (;;) {
        int quoted;
        if (!TF_GetTokenQuoted(parser, key, sizeof key, &quoted))
            TF_ReportExpected(parser, "}", "EOF");
        // A quoted "}" is a word, as the configuration rewrite reads it too.
        if (!quoted && strcmp(key, "}") == 0) return;
        const CFG_KEY* entry = FindKey(section, key);
        if (!entry) TF_Error(parser, "Unknown string [%s]", key);
        ApplyKey(parser, entry, cfg);
    }
}

void SerialSettingsHandler(TF_PARSER* parser, QCONFIG* cfg)
{
    ReadBlock(parser, &s_SerialBlock, cfg);
}

void ReadSections(TF_PARSER* parser, const char* filename, QCONFIG* cfg)
{
    char name[TF_FIELD];
    while (TF_GetToken(parser, name, sizeof name)) {
        const CFG_SECTION* section = nullptr;
        for (const CFG_SECTION& s : s_Sections) {
            if (strcmp(s.name, name) == 0) section = &s;
        }
        if (!section) TF_Error(parser, "Unknown Section [%s] in %s", name, filename);
        ReadBlock(parser, section, cfg);
    }
}

} // namespace

void Cfg_SetDefaults(QCONFIG* cfg)
{
    static const char* const deffiles[CFG_NDEFFILES] = {
        "units.txt",  "build.txt",  "weapon.txt", "overlay.txt", "animate.txt",
        "damage.txt", "trneff.txt", "ovleff.txt", "general.txt", "gamemsg.txt",
    };
    memset(cfg, 0, sizeof *cfg);
    snprintf(cfg->datadir, sizeof cfg->datadir, "%s", "data");
    snprintf(cfg->scenariodir, sizeof cfg->scenariodir, "%s", "scenario");
    snprintf(cfg->savedir, sizeof cfg->savedir, "%s", "save");
    for (int i = 0; i < CFG_NDEFFILES; i++) {
        snprintf(cfg->deffiles[i], sizeof cfg->deffiles[i], "%s", deffiles[i]);
    }
    cfg->entrypoint = CFG_ENTRY_SHELL;
    cfg->startcategory = SC_SINGLE;
    snprintf(cfg->logfile, sizeof cfg->logfile, "%s", "quorvex.log");
    cfg->logmask = TLOG_ERROR | TLOG_WARNING;
    cfg->logoptions = 0;
    cfg->defaultmove = 1;
    cfg->defaultfire = 1;
    cfg->infodelay = 800;
}

void Cfg_Load(const char* path, QCONFIG* cfg)
{
    PARSER_PTR parser(TF_Open(path));
    if (!parser) ERR_FATAL(ERRC_OPENFILE, "Configuration File : %s", path);
    g_CfgPlayerName[0] = '\0';
    ReadSections(parser.get(), path, cfg);
}

void Cfg_LoadText(const char* name, const char* text, size_t length, QCONFIG* cfg)
{
    PARSER_PTR parser(TF_OpenText(name, text, length));
    g_CfgPlayerName[0] = '\0';
    ReadSections(parser.get(), name, cfg);
}

const char* Cfg_EntryName(int entry)
{
    if (entry < 0 || entry >= 4) return "";
    return s_EntryNames[entry];
}
