#include "rules/tfendcnd.h"

#include <cstring>
#include <iterator>
#include <memory>
#include <vector>

#include "ai/ai.h"
#include "core/debug.h"
#include "core/error.h"
#include "core/gll.h"
#include "core/tfparse.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "map/region.h"
#include "rules/endcond.h"
#include "units/building.h"
#include "units/team.h"
#include "units/unit.h"

// Every record is linked into the tree before anything more is read, so a
// fatal error (which a test or fuzz hook turns into a jump) leaves nothing
// that the tree's owner can't free.
//
// An end-condition file is read after the scenario has made its units and
// buildings: an id of a building or unit criterion that names none of them
// counts as destroyed, captured or moved from the start (a file offered for
// every map, or a network game's start units in place of the scenario's),
// so each such id is logged as a warning with the file and line.

namespace {

// Ids are checked while an end-condition file is read.
bool s_checkIds = false;

// Where each condition's next state was read, checked once every state is
// known.
struct NEXTREF {
    int line;
    int next;
};

struct LOAD {
    TF_PARSER* parser;
    std::vector<NEXTREF> nexts;
};

// ------------------------------------------------------------------ tokens

// The next token; 0 at the end of the text. *bracket tells an unquoted
// bracket, which is never a value.
int Token(TF_PARSER* p, char* buf, size_t size, int* bracket = nullptr)
{
    int quoted = 0;
    if (!TF_GetTokenQuoted(p, buf, size, &quoted)) return 0;
    if (bracket) *bracket = !quoted && buf[1] == 0 && strchr("(){}", buf[0]) != nullptr;
    return 1;
}

int IsBracket(TF_PARSER* p, const char* which)
{
    char t[TF_FIELD];
    int bracket;
    return Token(p, t, sizeof t, &bracket) && bracket && t[0] == which[0];
}

// The arguments of a line: "(" then one value per letter of form (i an
// integer, s a string kept whole up to TF_LONGTOKEN - 1) then ")". 0 when
// anything differs, a bracket in place of a value included.
struct ARGS {
    int v[9];
    char s[TF_LONGTOKEN];
};

int Args(TF_PARSER* p, const char* form, ARGS* a)
{
    if (!IsBracket(p, "(")) return 0;
    int n = 0;
    for (const char* f = form; *f; f++) {
        char t[TF_LONGTOKEN];
        int bracket;
        if (!Token(p, t, sizeof t, &bracket) || bracket) return 0;
        if (*f == 's') Str_CopySafe(a->s, t, sizeof a->s);
        else a->v[n++] = Str_ToInt(t);
    }
    return IsBracket(p, ")");
}

[[noreturn]] void SyntaxError(TF_PARSER* p) { TF_Error(p, "Text file syntax error"); }

// The end of the text inside a block: refused, since a cut file would pass
// for a whole one.
[[noreturn]] void EndInsideBraces(TF_PARSER* p) { TF_ReportExpected(p, "}", "EOF"); }

GLL* Append(GLL** list, void* element)
{
    if (!*list) *list = GLL_Create();
    GLL_GoLast(*list);
    GLL_InsertAfter(*list, element);
    return *list;
}

template <class T> T* New(GLL** list)
{
    T* record = static_cast<T*>(Debug_Calloc(1, sizeof(T)));
    Append(list, record);
    return record;
}

char* CopyName(const char* text)
{
    char field[TF_FIELD];
    Str_CopySafe(field, text, sizeof field);
    return Debug_Strdup(field);
}

// ------------------------------------------------------------------ criteria

int ParseNode(TF_PARSER* p, CRITERIA* node, int depth);

struct CRITDEF {
    const char* keyword;
    int kind;
    int (*parse)(TF_PARSER* p, CRITERIA* node, int depth);
};

int CheckTeam(TF_PARSER* p, int team)
{
    if (team < 0 || team >= TEAM_MAXTEAMS) TF_Error(p, "Invalid team number specified");
    return team;
}

// The region of a criterion that can't go without one: logged and failed.
REGION* NeedRegion(int id)
{
    REGION* r = Region_FindById((uint32_t)id);
    if (!r) TLOG(TLOG_ERROR, "Region %d does not exist", id);
    return r;
}

// "{" child [child ...] "}" after "(" ")".
int ParseBoolean(TF_PARSER* p, CRITERIA* node, int depth)
{
    if (!IsBracket(p, "(") || !IsBracket(p, ")") || !IsBracket(p, "{")) return 0;
    for (;;) {
        CRITERIA* child = static_cast<CRITERIA*>(Debug_Calloc(1, sizeof(CRITERIA)));
        child->type = CRIT_KINDS;
        Append(&node->boolean.nodes, child);
        if (!ParseNode(p, child, depth + 1)) return 0;
        char t[TF_FIELD];
        if (!TF_PeekToken(p, t, sizeof t)) EndInsideBraces(p);
        if (strcmp(t, "}") == 0) {
            TF_GetToken(p, t, sizeof t);
            return 1;
        }
    }
}

int ParseUnary(TF_PARSER* p, CRITERIA* node, int depth)
{
    if (!IsBracket(p, "(") || !IsBracket(p, ")") || !IsBracket(p, "{")) return 0;
    node->unary.node = static_cast<CRITERIA*>(Debug_Calloc(1, sizeof(CRITERIA)));
    node->unary.node->type = CRIT_KINDS;
    if (!ParseNode(p, node->unary.node, depth + 1)) return 0;
    char t[TF_FIELD];
    if (!TF_PeekToken(p, t, sizeof t)) EndInsideBraces(p);
    return IsBracket(p, "}");
}

int ParseHold(TF_PARSER* p, CRITERIA* node, int)
{
    ARGS a;
    if (!Args(p, "iii", &a)) return 0;
    CRITNODE_USEREGION& r = node->useregion;
    r.regionid = a.v[0];
    r.a = a.v[1];
    r.b = a.v[2];
    // Counted down to 0 while the team holds the region; a time below 1
    // holds at once, as 0 does.
    r.counter = a.v[1] < 0 ? 0 : a.v[1];
    return (r.region = NeedRegion(a.v[0])) != nullptr;
}

int ParseHarass(TF_PARSER* p, CRITERIA* node, int)
{
    ARGS a;
    if (!Args(p, "iii", &a)) return 0;
    CRITNODE_USEREGION& r = node->useregion;
    r.regionid = a.v[0];
    r.a = a.v[1];
    r.b = a.v[2];
    r.region = Region_FindById((uint32_t)a.v[0]);
    if (!r.region) TF_Error(p, "Region %d does not exist", a.v[0]);
    return 1;
}

int ParseInRegion(TF_PARSER* p, CRITERIA* node, int)
{
    ARGS a;
    if (!Args(p, "i", &a)) return 0;
    node->useregion.regionid = a.v[0];
    return (node->useregion.region = NeedRegion(a.v[0])) != nullptr;
}

int ParseTeamInRegion(TF_PARSER* p, CRITERIA* node, int)
{
    ARGS a;
    if (!Args(p, "ii", &a)) return 0;
    node->useregion.regionid = a.v[0];
    node->useregion.region = NeedRegion(a.v[0]);
    if (!node->useregion.region) return 0;
    node->useregion.team = CheckTeam(p, a.v[1]);
    return 1;
}

int ParseBuildInRegion(TF_PARSER* p, CRITERIA* node, int)
{
    ARGS a;
    if (!Args(p, "sii", &a)) return 0;
    CRITNODE_BUILDITEM& b = node->builditem;
    b.itemname = CopyName(a.s);
    b.regionid = a.v[0];
    // Usually 0: no region, buildings anywhere count.
    b.region = Region_FindById((uint32_t)a.v[0]);
    b.count = a.v[1];
    return 1;
}

int ParseBuildUnit(TF_PARSER* p, CRITERIA* node, int)
{
    ARGS a;
    if (!Args(p, "si", &a)) return 0;
    node->builditem.itemname = CopyName(a.s);
    node->builditem.count = a.v[0];
    return 1;
}

int ParseTypeOfTeam(TF_PARSER* p, CRITERIA* node, int)
{
    ARGS a;
    if (!Args(p, "si", &a)) return 0;
    node->builditem.itemname = CopyName(a.s);
    node->builditem.team = CheckTeam(p, a.v[0]);
    return 1;
}

// Whether the game holds what id names for criterion kind.
bool IdNamesOne(int kind, int id)
{
    if (kind == CRIT_DESTROYBUILDING) return Build_FindById(id) != nullptr;
    return Units_IdToUnitPtr(id, -1) || Units_IdToUnitPtrOffMap(id, -1);
}

const char* IdListKeyword(int kind)
{
    switch (kind) {
    case CRIT_DESTROYBUILDING: return "CritDestroyBuilding";
    case CRIT_DESTROYUNIT: return "CritDestroyUnit";
    case CRIT_CAPTUREUNIT: return "CritCaptureUnit";
    default: return "CritMoveUnitsToRegion";
    }
}

// "{" id ... "}"; each id that names nothing logged where it stands.
int IdList(TF_PARSER* p, CRITERIA* node)
{
    char t[TF_FIELD];
    int bracket;
    if (!Token(p, t, sizeof t, &bracket)) TF_ReportExpected(p, "{", "EOF");
    if (!bracket || t[0] != '{') TF_ReportExpected(p, "{", t);
    GLL* list = node->destroyitem.idlist = GLL_Create();
    for (;;) {
        if (!Token(p, t, sizeof t, &bracket)) EndInsideBraces(p);
        if (bracket && t[0] == '}') return 1;
        if (bracket) TF_ReportExpected(p, "_number_", t);
        int* id = static_cast<int*>(Debug_Malloc(sizeof(int)));
        *id = Str_ToInt(t);
        Append(&list, id);
        if (s_checkIds && !IdNamesOne(node->type, *id))
            TLOG(TLOG_WARNING, "%s line %d: %s names no %s with id %d", p->filename, p->line,
                 IdListKeyword(node->type), node->type == CRIT_DESTROYBUILDING ? "building" : "unit", *id);
    }
}

int ParseMoveUnits(TF_PARSER* p, CRITERIA* node, int)
{
    ARGS a;
    if (!Args(p, "ii", &a)) return 0;
    CRITNODE_DESTROYITEM& d = node->destroyitem;
    d.regionid = a.v[0];
    d.count = a.v[1];
    d.region = NeedRegion(a.v[0]);
    if (!d.region) return 0;
    IdList(p, node);
    d.allowed = d.count != 0 ? d.idlist->count - d.count : 0;
    return 1;
}

int ParseIds(TF_PARSER* p, CRITERIA* node, int)
{
    if (!IsBracket(p, "(") || !IsBracket(p, ")")) return 0;
    return IdList(p, node);
}

int ParseAmount(TF_PARSER* p, CRITERIA* node, int)
{
    ARGS a;
    if (!Args(p, "i", &a)) return 0;
    node->amount.amount = a.v[0];
    return 1;
}

int ParseTeamPercent(TF_PARSER* p, CRITERIA* node, int)
{
    ARGS a;
    if (!Args(p, "ii", &a)) return 0;
    node->killenemy.team = CheckTeam(p, a.v[0]);
    node->killenemy.percent = a.v[1];
    return 1;
}

int ParsePercent(TF_PARSER* p, CRITERIA* node, int)
{
    ARGS a;
    if (!Args(p, "i", &a)) return 0;
    node->killenemy.percent = a.v[0];
    return 1;
}

int ParseNothing(TF_PARSER* p, CRITERIA*, int) { return IsBracket(p, "(") && IsBracket(p, ")"); }

int ParseTimer(TF_PARSER* p, CRITERIA* node, int)
{
    ARGS a;
    if (!Args(p, "i", &a)) return 0;
    node->timer.time = a.v[0];
    return 1;
}

int ParseStealPlan(TF_PARSER* p, CRITERIA* node, int)
{
    ARGS a;
    if (!Args(p, "is", &a)) return 0;
    node->stealplan.plan_name = CopyName(a.s);
    node->stealplan.team = (uint8_t)CheckTeam(p, a.v[0]);
    return 1;
}

// In the order the keywords are tried.
const CRITDEF s_criteria[] = {
    {"CritOR", CRIT_OR, ParseBoolean},
    {"CritAND", CRIT_AND, ParseBoolean},
    {"CritNOT", CRIT_NOT, ParseUnary},
    {"CritONCE", CRIT_ONCE, ParseUnary},
    {"CritHoldRegion", CRIT_HOLDREGION, ParseHold},
    {"CritEnemyInRegion", CRIT_ENEMYINREGION, ParseInRegion},
    {"CritTeamInRegion", CRIT_TEAMINREGION, ParseTeamInRegion},
    {"CritInRegion", CRIT_INREGION, ParseInRegion},
    {"CritHarassRegion", CRIT_HARASSREGION, ParseHarass},
    {"CritBuildBuilding", CRIT_BUILDBUILDING, ParseBuildInRegion},
    {"CritBeginBuildBuilding", CRIT_BEGINBUILDBUILDING, ParseBuildInRegion},
    {"CritBuildUnit", CRIT_BUILDUNIT, ParseBuildUnit},
    {"CritMoveUnitsToRegion", CRIT_MOVEUNITSTOREGION, ParseMoveUnits},
    {"CritDestroyBuilding", CRIT_DESTROYBUILDING, ParseIds},
    {"CritDestroyBuildingType", CRIT_DESTROYBUILDINGTYPE, ParseTypeOfTeam},
    {"CritKillUnitType", CRIT_KILLUNITTYPE, ParseTypeOfTeam},
    {"CritDestroyUnit", CRIT_DESTROYUNIT, ParseIds},
    {"CritCaptureUnit", CRIT_CAPTUREUNIT, ParseIds},
    {"CritCollectMineral", CRIT_COLLECTMINERAL, ParseAmount},
    {"CritCollectWater", CRIT_COLLECTWATER, ParseAmount},
    {"CritKillTeamUnits", CRIT_KILLTEAMUNITS, ParseTeamPercent},
    {"CritKillEnemyUnits", CRIT_KILLENEMYUNITS, ParsePercent},
    {"CritMoreUnitsThanEnemy", CRIT_MOREUNITSTHANENEMY, ParsePercent},
    {"CritLessUnitsThanEnemy", CRIT_LESSUNITSTHANENEMY, ParsePercent},
    {"CritDestroyTeamBuildings", CRIT_DESTROYTEAMBUILDINGS, ParseTeamPercent},
    {"CritDestroyEnemyBuildings", CRIT_DESTROYENEMYBUILDINGS, ParsePercent},
    {"CritKillAll", CRIT_KILLALL, ParseNothing},
    {"CritKillAllAndAllies", CRIT_KILLALLANDALLIES, ParseNothing},
    {"CritTimer", CRIT_TIMER, ParseTimer},
    {"CritTimerGame", CRIT_TIMERGAME, ParseTimer},
    {"CritHaveCredits", CRIT_HAVECREDITS, ParseAmount},
    {"CritStealPlan", CRIT_STEALPLAN, ParseStealPlan},
};

// node is linked into its parent and typed CRIT_KINDS (nothing owned) until
// its keyword is known.
int ParseNode(TF_PARSER* p, CRITERIA* node, int depth)
{
    // Each level is a frame of this reader and of the evaluation: a file
    // may not choose how deep the stack goes.
    if (depth > TFENDCND_MAXDEPTH)
        TF_Error(p, "Criteria nested deeper than %d", TFENDCND_MAXDEPTH);
    char keyword[TF_FIELD];
    if (!Token(p, keyword, sizeof keyword)) EndInsideBraces(p);   // a criterion is always in braces
    const CRITDEF* def = std::begin(s_criteria);
    while (def != std::end(s_criteria) && strcmp(def->keyword, keyword) != 0) def++;
    if (def == std::end(s_criteria)) TF_Error(p, "Invalid criteria");
    node->type = (uint16_t)def->kind;
    return def->parse(p, node, depth);
}

// ------------------------------------------------------------------ state lines

int AllianceValue(int v)
{
    switch (v) {
    case 0: return TR_ENEMY;
    case 1: return TR_NEUTRAL;
    case 2: return TR_ALLY;
    default: ERR_FATAL(ERRC_PARSE, "Invalid alliance state [%d] 0=enemy, 1=neutral, 2=ally", v);
    }
}

SPECIAL_FORCE* NeedForce(int id, const char* action)
{
    SPECIAL_FORCE* force = AI_FindSpecialForce((uint32_t)id);
    if (!force) ERR_FATAL(ERRC_FATAL, "No special forces with ID %d to %s", id, action);
    return force;
}

void LineTrigger(LOAD* l, CONDSTATE* s)
{
    ARGS a;
    if (!Args(l->parser, "ii", &a)) ERR_FATAL(ERRC_PARSE, "Unable to parse TriggerSpecialForces");
    NeedForce(a.v[0], "trigger");
    const REGION* r = Region_FindById((uint32_t)a.v[1]);
    if (!r) ERR_FATAL(ERRC_FATAL, "No region with ID %d to send special force to", a.v[1]);
    if ((r->flags & REGION_SHAPE_MASK) != RT_RECTANGLE)
        ERR_FATAL(ERRC_FATAL, "Special force must be sent to a rectangular region - ID %d", a.v[1]);
    TRIGSF* t = New<TRIGSF>(&s->specialforces_trigger);
    t->force = a.v[0];
    t->region = a.v[1];
}

void LineRelease(LOAD* l, CONDSTATE* s)
{
    ARGS a;
    if (!Args(l->parser, "i", &a)) ERR_FATAL(ERRC_PARSE, "Unable to parse ReleaseSpecialForces");
    NeedForce(a.v[0], "release");
    if (a.v[0] == 0) TF_Error(l->parser, "Unable to parse %s", "ReleaseSpecialForces");
    *New<int>(&s->specialforces_release) = a.v[0];
}

void LineGive(LOAD* l, CONDSTATE* s)
{
    ARGS a;
    if (!Args(l->parser, "ii", &a)) ERR_FATAL(ERRC_PARSE, "Unable to parse GiveSpecialForces");
    NeedForce(a.v[0], "give");
    if (a.v[1] < 0 || a.v[1] >= TEAM_NEUTRAL)
        ERR_FATAL(ERRC_FATAL, "No team %d to give special force to", a.v[1]);
    GIVESF* g = New<GIVESF>(&s->specialforces_give);
    g->force = a.v[0];
    g->team = a.v[1];
}

void LineCredits(LOAD* l, CONDSTATE* s)
{
    ARGS a;
    if (!Args(l->parser, "ii", &a)) ERR_FATAL(ERRC_PARSE, "Unable to parse GiveCredits");
    if (a.v[0] < 0 || a.v[0] >= TEAM_MAXTEAMS)
        ERR_FATAL(ERRC_FATAL, "No team %d to give credits to", a.v[0]);
    GIVEBONUSCREDITS* c = New<GIVEBONUSCREDITS>(&s->give_bonus_credits);
    c->team = a.v[0];
    c->amount = a.v[1];
}

void LineMessage(LOAD* l, CONDSTATE* s)
{
    ARGS a;
    if (!Args(l->parser, "s", &a)) SyntaxError(l->parser);
    Str_CopySafe(New<GAMEMSG_DATA>(&s->gamemsgdata)->sym, a.s, GAMEMSG_DATA_SYM);
}

void LineAlliance(LOAD* l, CONDSTATE* s)
{
    if (s->alliances) TF_Error(l->parser, "Cannot parse two SetAlliance commands per condition state");
    ARGS a;
    if (!Args(l->parser, "iiiiiiiii", &a)) SyntaxError(l->parser);
    ALLIANCESET set;
    for (int t = 0; t < ENDCOND_TEAMS; t++) set.relation[t] = AllianceValue(a.v[t]);
    s->alliances = static_cast<ALLIANCESET*>(Debug_Malloc(sizeof(ALLIANCESET)));
    *s->alliances = set;
}

void LineRegionPri(LOAD* l, CONDSTATE* s)
{
    ARGS a;
    if (!Args(l->parser, "iiii", &a)) SyntaxError(l->parser);
    REGION* r = Region_FindById((uint32_t)a.v[0]);
    if (!r) TF_Error(l->parser, "Region ID %d does not exist", a.v[0]);
    if ((r->flags & REGION_SHAPE_MASK) != RT_RECTANGLE)
        TF_Error(l->parser, "Tweak region must be a rectangular region - ID %d", a.v[0]);
    REGIONADJUST* adj = New<REGIONADJUST>(&s->tweakregions);
    adj->rid = REGIONID{r, a.v[0]};
    adj->value = a.v[1];
    adj->minforce = a.v[2];
    adj->maxforce = a.v[3];
}

void FileName(LOAD* l, char* field)
{
    if (!IsBracket(l->parser, "(")) SyntaxError(l->parser);
    TF_GetFilename(l->parser, field);
    if (!IsBracket(l->parser, ")")) SyntaxError(l->parser);
}

void LineAip(LOAD* l, CONDSTATE* s) { FileName(l, s->aipfile); }
void LineMsgFile(LOAD* l, CONDSTATE* s) { FileName(l, s->msgfile); }

void LineCondition(LOAD* l, CONDSTATE* s)
{
    TF_PARSER* p = l->parser;
    ARGS a;
    if (!Args(p, "iiiis", &a)) SyntaxError(p);
    CONDITION* c = New<CONDITION>(&s->conds);
    c->next = a.v[0];
    c->expiry = a.v[1];
    c->delay = a.v[2];
    c->spare = a.v[3];
    l->nexts.push_back(NEXTREF{p->line, c->next});
    Str_CopySafe(c->text, a.s, sizeof c->text);
    if (strlen(a.s) >= sizeof c->text) {
        TLOG(TLOG_WARNING, "Condition text cut to %d characters: [%s]", CONDITION_TEXT - 1, c->text);
        TF_ReportErrorLine(p);
    }
    if (!IsBracket(p, "{")) SyntaxError(p);
    c->criteria = static_cast<CRITERIA*>(Debug_Calloc(1, sizeof(CRITERIA)));
    c->criteria->type = CRIT_KINDS;
    if (!ParseNode(p, c->criteria, 1)) SyntaxError(p);
    char t[TF_FIELD];
    if (!TF_PeekToken(p, t, sizeof t)) EndInsideBraces(p);
    if (!IsBracket(p, "}")) SyntaxError(p);
}

const struct {
    const char* keyword;
    void (*read)(LOAD* l, CONDSTATE* s);
} s_lines[] = {
    {"DefineCondition", LineCondition},
    {"TriggerSpecialForces", LineTrigger},
    {"ReleaseSpecialForces", LineRelease},
    {"GiveSpecialForces", LineGive},
    {"BonusCredits", LineCredits},
    {"TriggerMessage", LineMessage},
    {"SetAlliance", LineAlliance},
    {"AdjustRegionPri", LineRegionPri},
    {"SetAIPFile", LineAip},
    {"SetMessageFile", LineMsgFile},
};

// 0 when the state's header is broken.
int ParseState(LOAD* l, CONDTREE* tree)
{
    TF_PARSER* p = l->parser;
    if (!IsBracket(p, "(") || !IsBracket(p, ")")) return 0;
    CONDSTATE* s = New<CONDSTATE>(&tree->condstates);
    if (!IsBracket(p, "{")) return 0;
    char token[TF_FIELD];
    for (;;) {
        if (!Token(p, token, sizeof token)) EndInsideBraces(p);
        if (strcmp(token, "}") == 0) return 1;
        const auto* line = std::begin(s_lines);
        while (line != std::end(s_lines) && strcmp(line->keyword, token) != 0) line++;
        if (line == std::end(s_lines)) TF_Error(p, "Unknown string [%s]", token);
        line->read(l, s);
    }
}

void ParseDescription(TF_PARSER* p, CONDTREE* tree)
{
    ARGS a;
    if (!Args(p, "s", &a)) SyntaxError(p);
    if (tree->description) TF_Error(p, "Description defined twice");
    tree->description = CopyName(a.s);
}

// Every next state must name a state of the tree (0 is the win).
void CheckNextStates(LOAD* l, const CONDTREE* tree)
{
    const int states = tree->condstates ? tree->condstates->count : 0;
    for (const NEXTREF& n : l->nexts) {
        if (n.next >= 0 && n.next <= states) continue;
        l->parser->line = n.line;
        TF_Error(l->parser, "Next state %d outside 0..%d", n.next, states);
    }
}

}   // namespace

int Tfendcnd_ParseCriteria(TF_PARSER* parser, CRITERIA** node)
{
    s_checkIds = false;
    *node = static_cast<CRITERIA*>(Debug_Calloc(1, sizeof(CRITERIA)));
    (*node)->type = CRIT_KINDS;
    return ParseNode(parser, *node, 1);
}

int Tfendcnd_Load(TF_PARSER* parser, int kind, int team)
{
    ASSERT(team >= 0 && team < TEAM_MAXTEAMS);
    ASSERT(kind == ENDCOND_END || kind == ENDCOND_FSM);
    TF_PARSER* p = parser;
    char token[TF_LONGTOKEN];
    int bracket;
    if (!Token(p, token, sizeof token, &bracket)) TF_ReportExpected(p, "(", "EOF");
    if (!bracket || token[0] != '(') TF_ReportExpected(p, "(", token);
    int timelimit = 0;
    if (kind == ENDCOND_END) {
        if (!TF_GetInt(p, token, &timelimit)) TF_ReportExpected(p, "_number_", "EOF");
        // The time left is the limit less the time played: a negative limit
        // would overflow it, and no saved game would hold it.
        if (timelimit < 0) TF_Error(p, "Time limit %d is negative", timelimit);
    }
    if (!Token(p, token, sizeof token, &bracket)) TF_ReportExpected(p, ")", "EOF");
    if (!bracket || token[0] != ')') TF_ReportExpected(p, ")", token);

    CONDTREE** slot = kind == ENDCOND_END ? &g_Endcond.endtree[team] : &g_Endcond.fsm[team];
    if (*slot)
        TF_Error(p, "%s already defined for player %d", kind == ENDCOND_END ? "EndCond FSM" : "AI FSM",
                 team);
    CONDTREE* tree = static_cast<CONDTREE*>(Debug_Calloc(1, sizeof(CONDTREE)));
    tree->current = 1;
    tree->timelimit = timelimit;
    *slot = tree;

    if (!Token(p, token, sizeof token, &bracket)) TF_ReportExpected(p, "{", "EOF");
    if (!bracket || token[0] != '{') TF_ReportExpected(p, "{", token);
    LOAD load{p, {}};
    s_checkIds = kind == ENDCOND_END;
    for (;;) {
        if (!Token(p, token, TF_FIELD)) EndInsideBraces(p);
        if (strcmp(token, "}") == 0) break;
        if (strcmp(token, "Description") == 0) ParseDescription(p, tree);
        else if (strcmp(token, "DefineCondState") == 0) {
            if (!ParseState(&load, tree)) TF_Error(p, "Unable to parse %s", "DefineCondState");
        } else TF_Error(p, "Unknown string [%s]", token);
    }
    s_checkIds = false;
    CheckNextStates(&load, tree);
    return 1;
}

// ------------------------------------------------------------------ descriptions

char* Endcond_ReadDescription(int team, int kind)
{
    const char* name = kind == ENDCOND_FSM ? AI_GetFsmFilename(team, 0) : Endcond_GetEndCondFile(team);
    if (!name)
        return Debug_Strdup(kind == ENDCOND_FSM ? "No FSM specified for team."
                                                : "No Endcondition specified for team.");
    char path[UTILS_PATH];
    if (!Utils_FindDataFile(path, name)) return nullptr;
    std::unique_ptr<TF_PARSER, void (*)(TF_PARSER*)> parser(TF_Open(path), TF_Close);
    if (!parser) return nullptr;
    TF_PARSER* p = parser.get();
    char t[TF_LONGTOKEN];
    int bracket = 0;
    auto word = [&](const char* w) { return Token(p, t, sizeof t, &bracket) && !bracket && !strcmp(t, w); };
    auto mark = [&](char c) { return Token(p, t, sizeof t, &bracket) && bracket && t[0] == c; };
    if (!word(kind == ENDCOND_FSM ? "DefineAICondTree" : "DefineEndCondTree") || !mark('('))
        return nullptr;
    if (kind != ENDCOND_FSM) {
        if (!Token(p, t, sizeof t, &bracket) || bracket) return nullptr;
        const char* c = t + (t[0] == '-' || t[0] == '+');
        if (!*c || strspn(c, "0123456789") != strlen(c)) return nullptr;
    }
    if (!mark(')') || !mark('{') || !word("Description") || !mark('(')) return nullptr;
    if (!Token(p, t, sizeof t, &bracket) || bracket) return nullptr;
    return Debug_Strdup(t);
}
