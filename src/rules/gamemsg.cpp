#include "rules/gamemsg.h"

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/debug.h"
#include "core/error.h"
#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/mlstring.h"
#include "core/tfparse.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "ui/blip.h"

static const char* const s_stdSyms[MSG_STDCOUNT] = {
    "MSG_SFXWATERLAUNCH", "MSG_FACCOMPLETE", "MSG_NEWFACILAVAIL", "MSG_NEWUNITSAVAIL",
    "MSG_UPGRADEAVAIL", "MSG_UNITCOMPLETE", "MSG_VEHICLECOMP", "MSG_SFXPACKUP", "MSG_SFXUNPACK",
    "MSG_SFXPOWERDOWN", "MSG_SFXPOWERUP", "MSG_BUILDDESTROYED", "MSG_SFXTEMPGATE",
    "MSG_SFXDECONSTRUCT", "MSG_ENDCONDCOMPSTATE", "MSG_ENDCONDNOWSTATE", "MSG_MISSIONSUCCESS",
    "MSG_MISSIONFAILED", "MSG_OBJECTFAIL", "MSG_MESSAGE", "MSG_NEEDUNIT", "MSG_UNITSELECT",
    "MSG_NOUNITSELECT", "MSG_SCRNSHOT", "MSG_PRIMSEL", "MSG_CANTBUILDTHERE", "MSG_SFXBUTTONCLICK",
    "MSG_NOCREDIT", "MSG_UNITBUILD", "MSG_NOPATHAVAIL", "MSG_IGILOADINGGAME", "MSG_SAVEINVALID",
    "MSG_SAVEOUTOFDATE", "MSG_IGISAVINGGAME", "MSG_SAVEDONE", "MSG_INTERFACETERM", "MSG_GROUPMADE",
    "MSG_SQUAD1SELECTED", "MSG_SQUAD2SELECTED", "MSG_SQUAD3SELECTED", "MSG_SQUAD4SELECTED",
    "MSG_SQUAD5SELECTED", "MSG_SQUAD6SELECTED", "MSG_SQUAD7SELECTED", "MSG_SQUAD8SELECTED",
    "MSG_SQUAD9SELECTED", "MSG_SQUAD0SELECTED", "MSG_PAUSED", "MSG_UNPAUSED", "MSG_UNITRECEIVED",
    "MSG_UNITTRANSFER", "MSG_ORDGIVENCREDITS", "MSG_GAVECREDITS", "MSG_ALLYREQUEST",
    "MSG_ALLIANCECHANGED", "MSG_NEWENEMY", "MSG_SFXPATH", "MSG_PHASEOFFLINE", "MSG_PHASEONLINE",
    "MSG_POWERCRITICAL", "MSG_LOWPOWER", "MSG_SFXCREDITADD", "MSG_ALLYDEFEATED", "MSG_SFXMORPH",
    "MSG_FACBUILD", "MSG_SFXSTARTBUILD", "MSG_PLANSBACKHQ", "MSG_SPYSTOLEPLANS", "MSG_SFXKLAXON",
    "MSG_UACTSPYINFIL", "MSG_UACTSPYCOMP", "MSG_BUILDINGSABOTAGED", "MSG_UNITSABOTAGED",
    "MSG_SFXVETACHIEVED", "MSG_UNITHEALED", "MSG_UNITREPAIRED", "MSG_UNITCAPTURED",
    "MSG_PHASEVEHICLEAVAIL", "MSG_SFXPHASE", "MSG_PHASESTATEALT", "MSG_UNITDESTROYED",
    "MSG_TEMPORALINSTABILITY", "MSG_SFXTEMPRIFT", "MSG_ALLYATTACK", "MSG_UNDERATTACK",
    "MSG_ALLYUNDERATTACK", "MSG_ATTACKED", "MSG_SEISMICDETECT", "MSG_SFXRUMBLE",
};

static GAME_MSG* s_msgs;
static GAME_MSG* s_std[MSG_STDCOUNT];
static SOUND_RESERVEDVOICE* s_voice;
// The file being read by GameMsg_Init: a fatal error in it leaves it open,
// and the next close frees it.
static TF_PARSER* s_parser;

// Before the first trigger the time rules pass whatever the clock says.
static const int64_t NEVER = -((int64_t)1 << 40);

// ------------------------------------------------------------------ reading

static int IsBracket(const char* tok)
{
    return tok[0] && !tok[1] && strchr("(){}", tok[0]) != nullptr;
}

static void ReadString(TF_PARSER* p, char* out, size_t size)
{
    if (!TF_GetToken(p, out, size) || IsBracket(out)) TF_Error(p, "Expected String");
}

static int ReadInt(TF_PARSER* p)
{
    char tok[TF_FIELD];
    if (!TF_GetToken(p, tok, sizeof tok)) TF_Error(p, "Expected Integer");
    const char* s = tok + (tok[0] == '-' || tok[0] == '+');
    if (*s < '0' || *s > '9') TF_Error(p, "Expected Integer");
    long long v = strtoll(tok, nullptr, 10);
    return v > INT_MAX ? INT_MAX : v < -INT_MAX ? -INT_MAX : (int)v;
}

// Logs the cause and the file's line; the block fails.
static int Fail(TF_PARSER* p, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
static int Fail(TF_PARSER* p, const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    Tlog_SetLocation(__FILE__, __LINE__);
    Tlog_VPrintf(TLOG_ERROR, fmt, ap);
    va_end(ap);
    TF_ReportErrorLine(p);
    return 0;
}

static int Truncated(TF_PARSER* p, GAME_MSG* m)
{
    return Fail(p, "Unexpected end of file in CreateMsg(%s)", m->msgsym);
}

static uint32_t Seconds(int s) { return s < 1 ? 0 : (uint32_t)(s > 4294967 ? 4294967 : s) * 1000u; }

static int LineSetSound(TF_PARSER* p, GAME_MSG* m)
{
    char name[TF_FIELD];
    if (!TF_ExpectOpenParen(p)) return Truncated(p, m);
    ReadString(p, name, sizeof name);
    if (!TF_ExpectCloseParen(p)) return Truncated(p, m);
    if (!name[0]) {
        TLOG(TLOG_WARNING, "Unable to add %s to %s", name, m->msgsym);
        return 1;
    }
    GAME_MSG_SFX* sfx = (GAME_MSG_SFX*)Debug_Calloc(1, sizeof(GAME_MSG_SFX));
    Sound_InitEffect(&sfx->sound, name, 80);
    GAME_MSG_SFX** tail = &m->sfxlist;
    while (*tail) tail = &(*tail)->next;
    if (tail != &m->sfxlist) m->queuesnd = 1;
    *tail = sfx;
    return 1;
}

static int LineFlag(TF_PARSER* p, GAME_MSG* m, uint8_t* flag)
{
    if (!TF_ExpectEmptyParens(p)) return Truncated(p, m);
    *flag = 1;
    return 1;
}
static int LineIsSfx(TF_PARSER* p, GAME_MSG* m) { return LineFlag(p, m, &m->issfx); }
static int LineQueueSound(TF_PARSER* p, GAME_MSG* m) { return LineFlag(p, m, &m->queuesnd); }

static int LineTime(TF_PARSER* p, GAME_MSG* m, int timetype)
{
    if (!TF_ExpectOpenParen(p)) return Truncated(p, m);
    int s = ReadInt(p);
    if (!TF_ExpectCloseParen(p)) return Truncated(p, m);
    m->timetype = timetype;
    m->typetime = Seconds(s);
    return 1;
}
static int LineTimeLimit(TF_PARSER* p, GAME_MSG* m) { return LineTime(p, m, GMTT_TIMELIMITED); }
static int LineTimeQuiet(TF_PARSER* p, GAME_MSG* m) { return LineTime(p, m, GMTT_TIMEQUIET); }

static int LineMLString(TF_PARSER* p, GAME_MSG* m)
{
    if (!TF_ExpectOpenParen(p)) return Truncated(p, m);
    int n = ReadInt(p);
    if (!TF_ExpectCloseParen(p)) return Truncated(p, m);
    MLString_Get(m->msgsym, m->text, GAMEMSG_STRLEN, 1);
    m->forcestring = n != 0;
    return 1;
}

static int ReadParenInts(TF_PARSER* p, GAME_MSG* m, int* v, int n)
{
    if (!TF_ExpectOpenParen(p)) return Truncated(p, m);
    for (int i = 0; i < n; i++) v[i] = ReadInt(p);
    if (!TF_ExpectCloseParen(p)) return Truncated(p, m);
    return 1;
}

static int LineCreateBlip(TF_PARSER* p, GAME_MSG* m)
{
    char form[TF_FIELD], tok[TF_FIELD];
    if (!TF_ExpectOpenParen(p)) return Truncated(p, m);
    ReadString(p, form, sizeof form);
    if (!TF_ExpectCloseParen(p)) return Truncated(p, m);
    if (strcmp(form, "CIRCLE") != 0) return Fail(p, "Invalid blip form : Expected CIRCLE");
    BLIP_TYPE* t = Blip_AddNewType(BF_CIRCLE);
    if (!t) {
        TLOG(TLOG_WARNING, "Unable to add new blip type (BF%d) for %s", BF_CIRCLE, m->msgsym);
        TF_ReportErrorLine(p);
        return 0;
    }
    m->bliptype = t;
    if (!TF_ExpectOpenBrace(p)) return Truncated(p, m);
    for (;;) {
        if (!TF_GetToken(p, tok, sizeof tok)) return Truncated(p, m);
        int v[3];
        if (strcmp(tok, "}") == 0) return 1;
        if (strcmp(tok, "CircleRGB") == 0) {
            if (!ReadParenInts(p, m, v, 3)) return 0;
            Blip_FormCircleColor(t, v[0], v[1], v[2]);
        } else if (strcmp(tok, "CircleLife") == 0) {
            if (!ReadParenInts(p, m, v, 1)) return 0;
            Blip_FormCircleLife(t, v[0]);
        } else if (strcmp(tok, "CircleSpeed") == 0) {
            if (!ReadParenInts(p, m, v, 1)) return 0;
            Blip_FormCircleSpeed(t, v[0]);
        } else {
            TF_Error(p, "Unknown CIRCLE function [%s] in CreateMsg(%s)", tok, m->msgsym);
        }
    }
}

struct MSGLINE {
    const char* keyword;
    int (*handler)(TF_PARSER* p, GAME_MSG* m);
};

static const MSGLINE s_lines[] = {
    {"SetSound", LineSetSound},         {"IsSfx", LineIsSfx},
    {"QueueSound", LineQueueSound},     {"SetTimeLimit", LineTimeLimit},
    {"SetTimeQuiet", LineTimeQuiet},    {"GetMLString", LineMLString},
    {"CreateBlip", LineCreateBlip},
};

// Linked at once, so that a fatal error half way through still frees it.
static GAME_MSG* NewMsg(const char* sym)
{
    GAME_MSG* m = (GAME_MSG*)Debug_Calloc(1, sizeof(GAME_MSG));
    snprintf(m->msgsym, sizeof m->msgsym, "%s", sym);
    m->timetype = GMTT_NORMAL;
    m->lasttime = NEVER;
    m->next = s_msgs;
    s_msgs = m;
    return m;
}

static int ParseBlock(TF_PARSER* p)
{
    char sym[GAMEMSG_SYMLEN], tok[TF_FIELD];
    if (!TF_ExpectOpenParen(p)) return Fail(p, "Unexpected end of file in CreateMsg");
    ReadString(p, sym, sizeof sym);
    if (!TF_ExpectCloseParen(p)) return Fail(p, "Unexpected end of file in CreateMsg(%s)", sym);
    if (!sym[0]) {
        TLOG(TLOG_ERROR, "Null game message symbol name");
        return Fail(p, "Unable to create new gamemsg [%s]", sym);
    }
    GAME_MSG* m = NewMsg(sym);
    if (!TF_ExpectOpenBrace(p)) return Truncated(p, m);
    for (;;) {
        if (!TF_GetToken(p, tok, sizeof tok)) return Truncated(p, m);
        if (strcmp(tok, "}") == 0) return 1;
        const MSGLINE* line = nullptr;
        for (const MSGLINE& l : s_lines)
            if (strcmp(tok, l.keyword) == 0) line = &l;
        if (!line) return Fail(p, "Unknown String [%s] in CreateMsg(%s)", tok, m->msgsym);
        if (!line->handler(p, m)) return 0;
    }
}

int GameMsg_ParseFile(TF_PARSER* parser)
{
    char tok[TF_FIELD];
    while (TF_GetToken(parser, tok, sizeof tok)) {
        if (strcmp(tok, "}") == 0) return 1;
        if (strcmp(tok, "CreateMsg") != 0)
            return Fail(parser, "Unknown function [%s] in %s", tok, parser->filename);
        if (!ParseBlock(parser)) return 0;
    }
    return 1;
}

// ------------------------------------------------------------------ life

static void LoadFile(const char* path)
{
    s_parser = TF_Open(path);
    if (!s_parser) ERR_FATAL(ERRC_OPENFILE, "Game message file [%s]", Fs_Resolve(path).c_str());
    int ok = GameMsg_ParseFile(s_parser);
    TF_Close(s_parser);
    s_parser = nullptr;
    if (!ok) ERR_FATAL(ERRC_PARSE, "Error parsing [%s]", Fs_Resolve(path).c_str());
    TLOG(TLOG_DIAG, "Game messages read from [%s]", Fs_Resolve(path).c_str());
}

static void FreeAll(void)
{
    TF_Close(s_parser);
    s_parser = nullptr;
    while (s_msgs) {
        GAME_MSG* m = s_msgs;
        s_msgs = m->next;
        while (m->sfxlist) {
            GAME_MSG_SFX* s = m->sfxlist;
            m->sfxlist = s->next;
            Debug_FreeBlock(s);
        }
        Debug_FreeBlock(m);
    }
}

void GameMsg_Init(void)
{
    char path[GAME_PATH];
    FreeAll();
    if (!Utils_MakePath(path, g_LocalDir, "", "", "gamemsg", ".txt") || !Fs_Exists(path))
        ERR_FATAL(ERRC_OPENFILE, "Game message file [%s]", Fs_Resolve(path).c_str());
    LoadFile(path);
    if (g_ScenarioDir[0] && Utils_MakePath(path, g_ScenarioDir, "", "", "gamemsg", ".txt") &&
        Fs_Exists(path))
        LoadFile(path);
    s_voice = Sound_GetReserved();
}

void GameMsg_Close(void)
{
    if (s_voice) Sound_ReleaseReserved(s_voice);
    s_voice = nullptr;
    FreeAll();
}

GAME_MSG* GameMsg_SymToData(const char* sym)
{
    for (GAME_MSG* m = s_msgs; m; m = m->next)
        if (strcmp(m->msgsym, sym) == 0) return m;
    TLOG(TLOG_WARNING, "Missing game message [%s]", sym);
    return nullptr;
}

void GameMsg_LookupStdIds(void)
{
    for (int i = 0; i < MSG_STDCOUNT; i++) s_std[i] = GameMsg_SymToData(s_stdSyms[i]);
}

void GameMsg_ResetStdIds(void)
{
    for (GAME_MSG*& m : s_std) m = nullptr;
}

GAME_MSG* GameMsg_Std(int id)
{
    ASSERT(id >= 0 && id < MSG_STDCOUNT);
    return s_std[id];
}

// ------------------------------------------------------------------ composing

static void Append(char* out, size_t* len, const char* text, size_t n)
{
    size_t room = GAMEMSG_STRLEN - 1 - *len;
    if (n > room) n = room;
    memcpy(out + *len, text, n);
    *len += n;
    out[*len] = 0;
}

int GameMsg_Format(char* out, const char* fmt, const GAMEMSG_ARG* args, int nargs)
{
    size_t len = 0;
    int next = 0, stray = 0;
    out[0] = 0;
    if (!fmt) return 0;
    for (const char* s = fmt; *s;) {
        if (*s != '%') {
            const char* e = strchr(s, '%');
            size_t n = e ? (size_t)(e - s) : strlen(s);
            Append(out, &len, s, n);
            s += n;
            continue;
        }
        if (s[1] == '%') {
            Append(out, &len, "%", 1);
            s += 2;
            continue;
        }
        // %[flags][width][.precision]conversion; widths are capped so that a
        // hostile text can't ask for more than the line holds.
        const char* q = s + 1;
        char conv_fmt[32] = "%";
        size_t sl = 1;
        while (*q && strchr("-+ #0", *q) && sl < 8) conv_fmt[sl++] = *q++;
        int width = 0, prec = -1;
        while (*q >= '0' && *q <= '9') width = width < 1000 ? width * 10 + (*q++ - '0') : (q++, width);
        if (*q == '.') {
            prec = 0;
            q++;
            while (*q >= '0' && *q <= '9') prec = prec < 1000 ? prec * 10 + (*q++ - '0') : (q++, prec);
        }
        if (width > GAMEMSG_STRLEN) width = GAMEMSG_STRLEN;
        if (prec > GAMEMSG_STRLEN) prec = GAMEMSG_STRLEN;
        char conv = *q;
        int wantstring = conv == 's';
        int known = conv && strchr("diuxXcs", conv) != nullptr;
        // Conversions pair with arguments by position, matched or not, so
        // one stray conversion can't shift every argument after it.
        int at = next++;
        if (!known || at >= nargs || args[at].isstring != wantstring) {
            // Copied as written, up to the conversion character.
            size_t n = (size_t)(q - s) + (conv ? 1 : 0);
            Append(out, &len, s, n);
            s += n;
            stray++;
            continue;
        }
        sl += (size_t)snprintf(conv_fmt + sl, sizeof conv_fmt - sl, "%d", width);
        if (prec >= 0) sl += (size_t)snprintf(conv_fmt + sl, sizeof conv_fmt - sl, ".%d", prec);
        conv_fmt[sl++] = conv;
        conv_fmt[sl] = 0;
        char filled[GAMEMSG_STRLEN * 2 + 16];
        const GAMEMSG_ARG& a = args[at];
        if (wantstring)
            snprintf(filled, sizeof filled, conv_fmt, a.text ? a.text : "");
        else if (conv == 'u' || conv == 'x' || conv == 'X')
            snprintf(filled, sizeof filled, conv_fmt, (unsigned)a.value);
        else
            snprintf(filled, sizeof filled, conv_fmt, a.value);
        Append(out, &len, filled, strlen(filled));
        s = q + 1;
    }
    return stray;
}

// ------------------------------------------------------------------ triggering

static int Trigger(GAME_MSG* msg, const char* composed, int x, int y)
{
    int64_t now = Plat_GameMs();
    if (msg->timetype == GMTT_TIMELIMITED && msg->lasttime + msg->typetime > now) return 0;
    if (msg->timetype == GMTT_TIMEQUIET && msg->lasttime + msg->typetime > now) {
        msg->lasttime = now;
        return 0;
    }
    int did = 0;
    if (composed) {
        Display_PaddedMessage("%s", composed);
        did = 1;
    } else if (msg->text[0] && (msg->forcestring || !msg->sfxlist || !Sound_DigitalOn())) {
        Display_PaddedMessage("%s", msg->text);
        did = 1;
    }
    if (msg->sfxlist) {
        if (msg->issfx)
            did |= Sound_Effect(&msg->sfxlist->sound, -1);
        else if (!msg->queuesnd)
            did |= Sound_PlayReserved(s_voice, &msg->sfxlist->sound);
        else
            for (const GAME_MSG_SFX* s = msg->sfxlist; s; s = s->next)
                did |= Sound_QueueReserved(s_voice, &s->sound);
    }
    if (msg->bliptype && x > 0 && y > 0) did |= Blip_NewInstance(msg->bliptype, x, y);
    msg->lasttime = now;
    return did;
}

int GameMsg_TriggerStd(GAME_MSG* msg) { return GameMsg_TriggerStdXY(msg, -1, -1); }

int GameMsg_TriggerStdXY(GAME_MSG* msg, int x, int y)
{
    return msg ? Trigger(msg, nullptr, x, y) : 0;
}

int GameMsg_TriggerVar(GAME_MSG* msg, const GAMEMSG_ARG* args, int nargs)
{
    return GameMsg_TriggerVarXY(msg, -1, -1, args, nargs);
}

int GameMsg_TriggerVarXY(GAME_MSG* msg, int x, int y, const GAMEMSG_ARG* args, int nargs)
{
    if (!msg || !msg->text[0]) return 0;
    char line[GAMEMSG_STRLEN];
    if (GameMsg_Format(line, msg->text, args, nargs) && !msg->badformat) {
        msg->badformat = 1;
        TLOG(TLOG_WARNING, "Game message [%s]: conversions without a matching argument in [%s]",
             msg->msgsym, msg->text);
    }
    return Trigger(msg, line, x, y);
}

void GameMsg_Update(void)
{
    if (s_voice) Sound_UpdateReserved(s_voice);
}
