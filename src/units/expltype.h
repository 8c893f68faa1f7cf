// Explosion types and the animation file that defines them.
//
// An explosion type is a named list of animation plays: each play starts an
// animation type at a given cycle of the explosion, placed at one of a range
// of the source sprite's hot spots and drawn in a render mode. The plays are
// kept sorted by start cycle; a new play goes before the first one that starts
// at the same cycle or later, so plays of one cycle end up in the reverse of
// the order they were added in.
//
// Every type stays on one list (g_ExplTypeList, in creation order) until
// ExplType_FreeAll; the save system walks the list and each type's plays, so
// records never move.
//
// "animate.txt" defines the animation types (platform/animtype.h) and then
// the explosion types that play them:
//
//   DefineAnimationType ( name ) {
//       SetSprite ( file )                 ; first, any case
//       Frame ( frame delay )              ; any number of these
//       Frames ( first last delay )
//       Link ( name )                      ; optional, last
//   }
//   DefineExplosionType ( name ) {
//       PlayAnimation ( startcycle hotspot hotspot animtype rendertype )
//   }
//
// Render types (any case): opaque, translucentA0, translucentA1,
// translucentB0, translucentB1, light. Block and line keywords other than
// SetSprite are matched exactly. A file that breaks these rules is a failed
// load: the reason and the file and line go to the trace log (errors) and the
// loader returns 0, keeping the types read before the error. A bracket out of
// place or an unknown render type is the tokenizer's fatal "Expected".
#pragma once

struct ANIMTYPE;
struct TF_PARSER;

enum { EXPLTYPE_NAMELEN = 64 };

// One play: animtype started at startcycle, at a hot spot between hotspotmin
// and hotspotmax (inclusive) of the exploding sprite, drawn in rendertype (a
// SPRITE_RENDER).
struct EXPLANIMTYPE {
    int startcycle;
    int hotspotmin, hotspotmax;
    int rendertype;
    ANIMTYPE* animtype;
    EXPLANIMTYPE* next;         // the next play by start cycle
};

struct EXPLTYPE {
    char name[EXPLTYPE_NAMELEN];
    EXPLANIMTYPE* firstanim;    // the plays by start cycle
    int nranims;
    EXPLTYPE* next;             // the type list
};

// The type list, oldest first.
extern EXPLTYPE* g_ExplTypeList;

// A new explosion type without plays, named name (cut to 63 characters), at
// the end of the list; null, logged, for a null or empty name or one that
// exists (any case).
EXPLTYPE* Expl_AddType(const char* name);
// The type of that name compared without regard to case; null when none.
EXPLTYPE* Expl_FindType(const char* name);
// Adds a play of animtype to type at startcycle, before the first play that
// starts at startcycle or later, with the smaller and the larger of hotspot1
// and hotspot2; 1 on success, 0 (logged) for a null type or animation type
// or a render type outside 0..15.
int Expl_AddAnimationToType(EXPLTYPE* type, int startcycle, int hotspot1, int hotspot2,
                            ANIMTYPE* animtype, int rendertype);
// The number of types.
int ExplType_Count(void);
// Frees every type and its plays (the animation types stay).
void ExplType_FreeAll(void);
// The common-systems entries: both leave the list empty.
void ExplType_Init(void);
void ExplType_Close(void);

// ------------------------------------------------------------ animate.txt

// Reads the animation file at path; 1 when it was read whole, 0 when it can't
// be opened or breaks the rules above (logged with its file and line).
int Tfweapon_Load(const char* path);
// Reads the blocks from the parser's position to the end of its text; 1 / 0
// as Tfweapon_Load.
int Tfweapon_Read(TF_PARSER* parser);
// One DefineAnimationType block (its keyword already read when keywordread);
// 1 when it was read whole, 0 (logged with the file and line) otherwise.
int Tfweapon_ParseAnimationType(TF_PARSER* parser, int keywordread);
// One DefineExplosionType block, as Tfweapon_ParseAnimationType.
int Tfweapon_ParseExplosionType(TF_PARSER* parser, int keywordread);
// SetSprite "(" file ")": the data-directory sprite set on type; 0 when the
// text ends or the sprite can't be found or set.
int Tfweapon_ParseSetSprite(TF_PARSER* parser, int keywordread, ANIMTYPE* type);
// Frame "(" frame delay ")" added to type; 0 when the text ends or the range
// is refused.
int Tfweapon_ParseFrame(TF_PARSER* parser, int keywordread, ANIMTYPE* type);
// Frames "(" first last delay ")" added to type, as Tfweapon_ParseFrame.
int Tfweapon_ParseFrames(TF_PARSER* parser, int keywordread, ANIMTYPE* type);
// PlayAnimation "(" startcycle hotspot hotspot animtype rendertype ")" added
// to type; 0 when the text ends, the animation type is unknown or the play is
// refused.
int Tfweapon_ParsePlayAnimation(TF_PARSER* parser, int keywordread, EXPLTYPE* type);
// The next token as a render type into *rendertype; 0 at the end of the
// text; a name that is not a render type is fatal ("Expected").
int Tfweapon_ParseRenderType(TF_PARSER* parser, int* rendertype);
