// Multi-language strings.
//
// The texts live in one map from key to text, filled script by script so
// that a later script overrides an earlier one (a translation can be a small
// script of corrections listed after the full one). The display slots point
// into that map; nothing is inserted after they are set, so the pointers
// stay valid until the next load or unload, both of which reset them first.
#include "core/mlstring.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>

#include "core/debug.h"
#include "core/fspath.h"
#include "core/parse.h"
#include "core/tfparse.h"
#include "core/tlog.h"
#include "core/utils.h"

namespace {

const char MLS_DEFAULT_TEXT[] = "MLS DEFAULT";
const char MLS_ERROR_TEXT[] = "MLS ERROR";

struct MLS_DISPLAY {
    const char* key;
    const char* text;  // built-in English text
    int format;        // a printf format for one integer
};

// Indexed by MLS_DISPLAY_ID; adding a fixed text is one line here and one
// in the enumeration.
const MLS_DISPLAY s_displayTable[] = {
    {"MLS_DISP_ADVANCED", "Advanced", 0},
    {"MLS_DISP_BASIC", "Basic", 0},
    {"MLS_DISP_BEHAVIOURS", "Behaviours", 0},
    {"MLS_DISP_BUILDINGS", "Buildings", 0},
    {"MLS_DISP_CHARGE", "Charging", 0},
    {"MLS_DISP_CONST", "Constructing", 0},
    {"MLS_DISP_CREDIT", "Credits", 0},
    {"MLS_DISP_CURRPATH", "Current trail", 0},
    {"MLS_DISP_DEMO", "Demolishing", 0},
    {"MLS_DISP_DISABLE", "Disabled", 0},
    {"MLS_DISP_FILES", "Files", 0},
    {"MLS_DISP_FIRE", "Fire", 0},
    {"MLS_DISP_MOVE", "Move", 0},
    {"MLS_DISP_NOUP", "No upgrade", 0},
    {"MLS_DISP_N_QUEUED", "%d queued", 1},
    {"MLS_DISP_OPTIONS", "Options", 0},
    {"MLS_DISP_ORDERS", "Orders", 0},
    {"MLS_DISP_PACK", "Packing", 0},
    {"MLS_DISP_PATHDIR", "Trail direction", 0},
    {"MLS_DISP_PAUSED", "Paused", 0},
    {"MLS_DISP_PLAYERS", "Players", 0},
    {"MLS_DISP_POWER", "Power", 0},
    {"MLS_DISP_PWRDN", "Powering down", 0},
    {"MLS_DISP_PWROFF", "Powered off", 0},
    {"MLS_DISP_PWRUP", "Powering up", 0},
    {"MLS_DISP_REPAIR", "Repair", 0},
    {"MLS_DISP_SAVEDPATHS", "Saved trails", 0},
    {"MLS_DISP_SELL", "Sell", 0},
    {"MLS_DISP_SELUP", "Select a building", 0},
    {"MLS_DISP_STOP", "Stop", 0},
    {"MLS_DISP_UNITS", "Units", 0},
    {"MLS_DISP_UNPACK", "Unpacking", 0},
    {"MLS_DISP_UPGRADE", "Upgrading", 0},
    {"MLS_DISP_UPGRADE_N", "Upgrade %dc", 1},
    {"MLS_DISP_WATERSALE", "Water sale %dc", 1},
    {"MLS_EVNT_NEWTRAIL", "Trail %d", 1},
    {"MLS_EVNT_NOTRAIL", "No trail", 0},
    {"MLS_IGI_SAVE_OUTDATE", "Saved game is out of date", 0},
    {"MLS_ORD_NOW", "Now", 0},
    {"MLS_ORDER_NOT", "Order not possible", 0},
};
static_assert(sizeof s_displayTable / sizeof s_displayTable[0] == MLSD_COUNT,
              "one display entry per MLS_DISPLAY_ID");

std::unordered_map<std::string, std::string> s_strings;
int s_loaded = 0;
std::string s_defaultText = MLS_DEFAULT_TEXT;
const char* s_display[MLSD_COUNT];
int s_displayReady = 0;

struct ParserCloser {
    void operator()(TF_PARSER* parser) const { TF_Close(parser); }
};
struct ScriptFreer {
    void operator()(PARSE_SCRIPT* script) const { Parse_FreeData(script); }
};

void ResetDisplay(void)
{
    for (int i = 0; i < MLSD_COUNT; i++) s_display[i] = s_displayTable[i].text;
    s_displayReady = 1;
}

// The display code prints these texts with one integer argument: a
// translated text that asks for anything else (a %s, a second number) would
// read arguments that aren't there.
int IsOneIntFormat(const char* text)
{
    int conversions = 0;
    for (const char* p = text; *p; p++) {
        if (*p != '%') continue;
        p++;
        if (*p == '%') continue;
        while (*p && strchr("-+ #0", *p)) p++;
        while (*p >= '0' && *p <= '9') p++;
        if (*p == '.') {
            p++;
            while (*p >= '0' && *p <= '9') p++;
        }
        if (*p != 'd' && *p != 'i') return 0;
        if (++conversions > 1) return 0;
    }
    return 1;
}

void LookUpDisplay(void)
{
    ResetDisplay();
    for (int i = 0; i < MLSD_COUNT; i++) {
        const MLS_DISPLAY& entry = s_displayTable[i];
        auto found = s_strings.find(entry.key);
        if (found == s_strings.end()) continue;
        if (entry.format && !IsOneIntFormat(found->second.c_str())) {
            TLOG(TLOG_WARNING, "Text of [%s] is not a format for one integer: keeping [%s]",
                 entry.key, entry.text);
            continue;
        }
        s_display[i] = found->second.c_str();
    }
}

void TakeDefine(const char* name, const char* value, void*)
{
    s_strings.insert_or_assign(name, value ? value : "");
}

void LoadScript(const char* path)
{
    std::unique_ptr<PARSE_SCRIPT, ScriptFreer> script(IParse_NewScript());
    int result = IParse_LoadScript(path, script.get());
    if (result == PARSE_NOFILE) {
        TLOG(TLOG_WARNING, "Cannot open string script [%s]", Fs_Resolve(path).c_str());
        return;
    }
    if (result != PARSE_OK) {
        // The script's parser has logged the file and line.
        TLOG(TLOG_ERROR, "String script [%s] not loaded", Fs_Resolve(path).c_str());
        return;
    }
    Parse_ForEachDefine(script.get(), TakeDefine, nullptr);
}

// The directory part of path (without its separator), "" for a bare name.
std::string DirectoryOf(const char* path)
{
    const char* slash = strrchr(path, '\\');
    const char* other = strrchr(path, '/');
    if (!slash || (other && other > slash)) slash = other;
    return slash ? std::string(path, (size_t)(slash - path)) : std::string();
}

} // namespace

int MLString_Load(const char* path)
{
    ASSERT(path);
    MLString_Unload();
    std::unique_ptr<TF_PARSER, ParserCloser> list(TF_Open(path));
    if (!list) {
        TLOG(TLOG_WARNING, "Cannot open the multi-language string list [%s]",
             Fs_Resolve(path).c_str());
        return -1;
    }
    std::string dir = DirectoryOf(path);
    char name[UTILS_PATH];
    char script[UTILS_PATH];
    while (TF_GetToken(list.get(), name, sizeof name)) {
        if (!Utils_MakePath(script, dir.c_str(), nullptr, nullptr, name, nullptr)) {
            TLOG(TLOG_WARNING, "String script path too long: [%s] in [%s]", name, path);
            TF_ReportErrorLine(list.get());
            continue;
        }
        LoadScript(script);
    }
    s_loaded = 1;
    LookUpDisplay();
    int count = (int)s_strings.size();
    TLOG(TLOG_DIAG, "Loaded %d multi-language strings from [%s]", count,
         Fs_Resolve(path).c_str());
    return count;
}

void MLString_Unload(void)
{
    // The display slots may point into the map: reset them before it goes.
    ResetDisplay();
    s_strings.clear();
    s_loaded = 0;
}

int MLString_Get(const char* key, char* buffer, size_t size, int logmissing)
{
    if (!key) key = "";
    if (!s_loaded) {
        Str_CopySafe(buffer, MLS_ERROR_TEXT, size);
        return 0;
    }
    auto found = s_strings.find(key);
    if (found != s_strings.end()) {
        Str_CopySafe(buffer, found->second.c_str(), size);
        return 1;
    }
    if (size) snprintf(buffer, size, "%s [%s]", s_defaultText.c_str(), key);
    if (logmissing) TLOG(TLOG_WARNING, "No conversion for [%s]", key);
    return 0;
}

int MLString_GetOrDefine(const char* key, const char* defaulttext, char* buffer, size_t size)
{
    if (!key) key = "";
    if (!defaulttext) defaulttext = "";
    if (MLString_Get(key, buffer, size, 0)) return 1;
    Str_CopySafe(buffer, defaulttext, size);
    TLOG(TLOG_WARNING, "#define %s \"%s\"", key, defaulttext);
    return 0;
}

void MLString_SetDefault(const char* text)
{
    s_defaultText = text ? text : MLS_DEFAULT_TEXT;
    if (s_defaultText.size() > MLSTRING_DEFAULT_MAX) s_defaultText.resize(MLSTRING_DEFAULT_MAX);
}

const char* MLString_Display(int id)
{
    ASSERT(id >= 0 && id < MLSD_COUNT);
    if (!s_displayReady) ResetDisplay();
    return s_display[id];
}

const char* MLString_DisplayKey(int id)
{
    ASSERT(id >= 0 && id < MLSD_COUNT);
    return s_displayTable[id].key;
}
