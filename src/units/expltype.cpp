// Explosion types: the type list and its plays, and "animate.txt".
#include "units/expltype.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <strings.h>

#include "core/debug.h"
#include "core/guard.h"
#include "core/tfparse.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "platform/animtype.h"
#include "platform/sprite.h"

EXPLTYPE* g_ExplTypeList = nullptr;
static EXPLTYPE* s_explTail = nullptr;

EXPLTYPE* Expl_FindType(const char* name)
{
    if (!name) return nullptr;
    for (EXPLTYPE* t = g_ExplTypeList; t; t = t->next)
        if (strcasecmp(t->name, name) == 0) return t;
    return nullptr;
}

EXPLTYPE* Expl_AddType(const char* name)
{
    if (!name || !*name) {
        TLOG(TLOG_ERROR, "Explosion type without a name");
        return nullptr;
    }
    char cut[EXPLTYPE_NAMELEN];
    Str_CopySafe(cut, name, sizeof cut);
    // Look-ups ignore case, so a second type differing only in case could
    // never be found.
    if (Expl_FindType(cut)) {
        TLOG(TLOG_ERROR, "Explosion type [%s] exists already", cut);
        return nullptr;
    }
    EXPLTYPE* t = (EXPLTYPE*)Debug_Calloc(1, sizeof(EXPLTYPE));
    Str_CopySafe(t->name, cut, sizeof t->name);
    if (s_explTail) s_explTail->next = t;
    else g_ExplTypeList = t;
    s_explTail = t;
    return t;
}

int Expl_AddAnimationToType(EXPLTYPE* type, int startcycle, int hotspot1, int hotspot2,
                            ANIMTYPE* animtype, int rendertype)
{
    if (!type || !animtype) {
        TLOG(TLOG_ERROR, "Explosion play without %s", type ? "an animation type" : "a type");
        return 0;
    }
    // The display list keeps render modes in 4 bits.
    if (rendertype < 0 || rendertype > 15) {
        TLOG(TLOG_ERROR, "Render type %d out of range, in [%s]", rendertype, type->name);
        return 0;
    }
    EXPLANIMTYPE* play = (EXPLANIMTYPE*)Debug_Calloc(1, sizeof(EXPLANIMTYPE));
    play->startcycle = startcycle;
    play->hotspotmin = hotspot1 < hotspot2 ? hotspot1 : hotspot2;
    play->hotspotmax = hotspot1 < hotspot2 ? hotspot2 : hotspot1;
    play->rendertype = rendertype;
    play->animtype = animtype;

    EXPLANIMTYPE** link = &type->firstanim;
    while (*link && (*link)->startcycle < startcycle) link = &(*link)->next;
    play->next = *link;
    *link = play;
    type->nranims++;
    return 1;
}

int ExplType_Count(void)
{
    int n = 0;
    for (const EXPLTYPE* t = g_ExplTypeList; t; t = t->next) n++;
    return n;
}

void ExplType_FreeAll(void)
{
    EXPLTYPE* t = g_ExplTypeList;
    while (t) {
        EXPLTYPE* nexttype = t->next;
        EXPLANIMTYPE* play = t->firstanim;
        while (play) {
            EXPLANIMTYPE* nextplay = play->next;
            Debug_Free(&play);
            play = nextplay;
        }
        Debug_Free(&t);
        t = nexttype;
    }
    g_ExplTypeList = nullptr;
    s_explTail = nullptr;
}

static MODULE_GUARD s_guard = MODULE_GUARD_INIT("Explosions");

void ExplType_Init(void)
{
    Guard_Init(&s_guard);
    ExplType_FreeAll();
}

void ExplType_Close(void)
{
    Guard_Close(&s_guard);
    ExplType_FreeAll();
}

// ------------------------------------------------------------ animate.txt

static const char* const ANIM_BLOCK = "DefineAnimationType";
static const char* const EXPL_BLOCK = "DefineExplosionType";

// Logs why the file is rejected; the caller that gives up adds the file and
// line once (Reject).
static void Say(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
static void Say(const char* fmt, ...)
{
    char text[512];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    TLOG(TLOG_ERROR, "%s", text);
}

static int Reject(TF_PARSER* parser)
{
    TF_ReportErrorLine(parser);
    return 0;
}

static int EndOfText(const char* what)
{
    Say("Unexpected end of file in %s", what);
    return 0;
}


static int RenderTypeByName(TF_PARSER* parser, const char* name, int* rendertype)
{
    static const struct {
        const char* name;
        int mode;
    } TYPES[] = {
        {"opaque", RENDER_OPAQUE},
        {"translucentA0", RENDER_TRANSLUCENT_A0},
        {"translucentA1", RENDER_TRANSLUCENT_A1},
        {"translucentB0", RENDER_TRANSLUCENT_B0},
        {"translucentB1", RENDER_TRANSLUCENT_B1},
        {"light", RENDER_LIGHT},
    };
    for (const auto& t : TYPES) {
        if (strcasecmp(t.name, name) == 0) {
            *rendertype = t.mode;
            return 1;
        }
    }
    TF_ReportExpected(parser, "_RenderType_ not recognised", name);
}

int Tfweapon_ParseRenderType(TF_PARSER* parser, int* rendertype)
{
    char token[TF_FIELD];
    if (!TF_GetToken(parser, token, sizeof token)) return EndOfText("the render type");
    return RenderTypeByName(parser, token, rendertype);
}

int Tfweapon_ParseSetSprite(TF_PARSER* parser, int keywordread, ANIMTYPE* type)
{
    char file[TF_FIELD];
    if (!TF_ExpectKeywordIf(parser, keywordread, "SetSprite") || !TF_GetParenString(parser, file))
        return EndOfText("SetSprite");
    SPRITE* sprite = Textfile_FindSprite(file);
    if (!sprite || !AnimType_SetSprite(type, sprite)) {
        Sprite_Free(sprite); // the type didn't take the reference
        Say("Couldn't add sprite to animation type");
        return 0;
    }
    return 1;
}

static int AddRange(ANIMTYPE* type, int first, int last, int delay)
{
    if (!AnimType_AddFrames(type, first, last, delay)) {
        Say("Couldn't add frame to animation type");
        return 0;
    }
    return 1;
}

int Tfweapon_ParseFrame(TF_PARSER* parser, int keywordread, ANIMTYPE* type)
{
    int frame = 0, delay = 0;
    if (!TF_ExpectKeywordIf(parser, keywordread, "Frame") ||
        !TF_GetParenInt2(parser, &frame, &delay))
        return EndOfText("Frame");
    return AddRange(type, frame, frame, delay);
}

int Tfweapon_ParseFrames(TF_PARSER* parser, int keywordread, ANIMTYPE* type)
{
    int first = 0, last = 0, delay = 0;
    if (!TF_ExpectKeywordIf(parser, keywordread, "Frames") ||
        !TF_GetParenInt3(parser, &first, &last, &delay))
        return EndOfText("Frames");
    return AddRange(type, first, last, delay);
}

int Tfweapon_ParsePlayAnimation(TF_PARSER* parser, int keywordread, EXPLTYPE* type)
{
    if (!TF_ExpectKeywordIf(parser, keywordread, "PlayAnimation")) return EndOfText("PlayAnimation");
    // Read as one list so that a short line is caught here rather than by
    // taking the next line's tokens for its values.
    char args[5][TF_FIELD];
    int n = TF_GetStringList(parser, args, 5);
    if (n != 5) {
        Say("PlayAnimation takes 5 values but found %d, in %s(%s)", n, EXPL_BLOCK, type->name);
        return 0;
    }
    ANIMTYPE* anim = AnimType_Find(args[3]);
    if (!anim) {
        Say("Animation type \"%s\" not previously defined", args[3]);
        return 0;
    }
    int rendertype = 0;
    RenderTypeByName(parser, args[4], &rendertype);
    if (!Expl_AddAnimationToType(type, Str_ToInt(args[0]), Str_ToInt(args[1]), Str_ToInt(args[2]),
                                 anim, rendertype)) {
        Say("Couldn't add animation play to explosion type %s", type->name);
        return 0;
    }
    return 1;
}

// "(" name ")" "{" after a block keyword; 0 when the text ends.
static int BlockHead(TF_PARSER* parser, const char* block, char* name)
{
    if (!TF_GetParenString(parser, name) || !TF_ExpectOpenBrace(parser)) return EndOfText(block);
    return 1;
}

int Tfweapon_ParseAnimationType(TF_PARSER* parser, int keywordread)
{
    char name[TF_FIELD];
    if (!TF_ExpectKeywordIf(parser, keywordread, ANIM_BLOCK) || !BlockHead(parser, ANIM_BLOCK, name))
        return Reject(parser);
    if (AnimType_Find(name)) {
        Say("AnimationType \"%s\" defined twice", name);
        return Reject(parser);
    }
    ANIMTYPE* type = AnimType_New(name);
    if (!type) {
        Say("Couldn't allocate animation type for %s", name);
        return Reject(parser);
    }
    if (!Tfweapon_ParseSetSprite(parser, 0, type)) return Reject(parser);

    char token[TF_FIELD];
    for (;;) {
        if (!TF_GetToken(parser, token, sizeof token)) strcpy(token, "EOF");
        if (strcmp(token, "Frame") == 0) {
            if (!Tfweapon_ParseFrame(parser, 1, type)) return Reject(parser);
        } else if (strcmp(token, "Frames") == 0) {
            if (!Tfweapon_ParseFrames(parser, 1, type)) return Reject(parser);
        } else if (strcmp(token, "Link") == 0) {
            char linkname[TF_FIELD];
            if (!TF_GetParenString(parser, linkname)) {
                EndOfText("Link");
                return Reject(parser);
            }
            ANIMTYPE* next = AnimType_Find(linkname);
            if (!next) {
                Say("Animation type \"%s\" not previously defined", linkname);
                return Reject(parser);
            }
            if (!AnimType_Link(type, next)) {
                Say("Couldn't add link to animation type");
                return Reject(parser);
            }
            // The link is what plays after the last range, so it ends the block.
            if (!TF_GetToken(parser, token, sizeof token)) strcpy(token, "EOF");
            if (strcmp(token, "}") != 0) {
                Say("Expected %s in %s(%s) but found %s", "}", ANIM_BLOCK, name, token);
                return Reject(parser);
            }
            return 1;
        } else if (strcmp(token, "}") == 0) {
            return 1;
        } else {
            Say("Expected %s or %s in %s(%s) but found %s", "Frame", "Link", ANIM_BLOCK, name,
                token);
            return Reject(parser);
        }
    }
}

int Tfweapon_ParseExplosionType(TF_PARSER* parser, int keywordread)
{
    char name[TF_FIELD];
    if (!TF_ExpectKeywordIf(parser, keywordread, EXPL_BLOCK) || !BlockHead(parser, EXPL_BLOCK, name))
        return Reject(parser);
    if (Expl_FindType(name)) {
        Say("ExplosionType \"%s\" defined twice", name);
        return Reject(parser);
    }
    EXPLTYPE* type = Expl_AddType(name);
    if (!type) {
        Say("Couldn't allocate explosion type for %s", name);
        return Reject(parser);
    }
    char token[TF_FIELD];
    for (;;) {
        if (!TF_GetToken(parser, token, sizeof token)) strcpy(token, "EOF");
        if (strcmp(token, "PlayAnimation") == 0) {
            if (!Tfweapon_ParsePlayAnimation(parser, 1, type)) return Reject(parser);
        } else if (strcmp(token, "}") == 0) {
            return 1;
        } else {
            Say("Expected %s in %s(%s) but found %s", "PlayAnimation", EXPL_BLOCK, name, token);
            return Reject(parser);
        }
    }
}

int Tfweapon_Read(TF_PARSER* parser)
{
    ASSERT(parser);
    char token[TF_FIELD];
    while (TF_GetToken(parser, token, sizeof token)) {
        int ok;
        if (strcmp(token, ANIM_BLOCK) == 0) {
            ok = Tfweapon_ParseAnimationType(parser, 1);
        } else if (strcmp(token, EXPL_BLOCK) == 0) {
            ok = Tfweapon_ParseExplosionType(parser, 1);
        } else {
            Say("[TFWEAPON] Expected %s or %s but found %s", ANIM_BLOCK, EXPL_BLOCK, token);
            ok = Reject(parser);
        }
        // Whatever was defined before the error stays defined.
        if (!ok) return 0;
    }
    return 1;
}

int Tfweapon_Load(const char* path)
{
    // Closed on every way out, a fatal error that a test hook turns into a
    // jump included.
    std::unique_ptr<TF_PARSER, void (*)(TF_PARSER*)> parser(TF_Open(path), TF_Close);
    if (!parser) {
        TLOG(TLOG_DIAG, "No animation file [%s]", path ? path : "");
        return 0;
    }
    TLOG(TLOG_DIAG, "Reading animation file [%s]", parser->filename);
    return Tfweapon_Read(parser.get());
}
