// The demo sprites and the sprite fuzz seeds.
//
// Shapes are tested per pixel in the sprite's own frame (u along the facing,
// v across it), so each rotation is the same shape turned, not a copy of
// pixels. The eight rotations use exact table values rather than the maths
// library's sine, so every machine draws the same bytes. Colours come from
// the demo palette's ramps (gen_palette.h): a unit's body and a building's
// roof use the first team ramp 32..39, which each team colour's remap moves
// to that colour's own ramp.
//
// Built with tests as well (MKDATA_FUNCTIONS_ONLY), where mkdata's
// registration isn't linked.
#include "gen_sprites.h"

#include <cmath>
#include <cstring>

#include "gen_palette.h"

namespace {

const float R2 = 0.70710678f;
const float COS8[8] = {1, R2, 0, -R2, -1, -R2, 0, R2};
const float SIN8[8] = {0, R2, 1, R2, 0, -R2, -1, -R2};

const uint8_t DARK = 1; // outline: the darkest grey (0 is transparent)

int Clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

int Round(float v) { return (int)std::floor(v + 0.5f); }

uint8_t Team(int level) { return (uint8_t)(MKPAL_TEAMS + Clamp(level, 0, 7)); }

uint8_t Ramp(int ramp, int level)
{
    return (uint8_t)(MKPAL_TERRAIN + MKPAL_RAMP * ramp + Clamp(level, 0, MKPAL_RAMP - 1));
}

uint8_t Grey(int level) { return (uint8_t)(MKPAL_GREYS + Clamp(level, 0, 9)); }

// A small deterministic hash for speckles and smoke holes.
unsigned Hash(int x, int y, int k)
{
    unsigned h = (unsigned)x * 374761393u + (unsigned)y * 668265263u + (unsigned)k * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

// The pixel's offset from the image centre, turned into the facing's frame.
struct LOCAL {
    float dx, dy, u, v;
};

LOCAL Local(int x, int y, int w, int h, int r)
{
    LOCAL l;
    l.dx = x + 0.5f - w / 2.0f;
    l.dy = y + 0.5f - h / 2.0f;
    l.u = l.dx * COS8[r] - l.dy * SIN8[r];
    l.v = l.dx * SIN8[r] + l.dy * COS8[r];
    return l;
}

// The image point u along the facing and v across it from the centre.
SPRITE_POINT Along(int w, int h, int r, float u, float v, int z)
{
    float x = w / 2.0f + u * COS8[r] + v * SIN8[r];
    float y = h / 2.0f - u * SIN8[r] + v * COS8[r];
    return SPRITE_POINT{Round(x), Round(y), z};
}

// Blank pixels beside a drawn one become the outline colour.
void Outline(GENSPRITE* s, int f, int r, uint8_t ink)
{
    std::vector<uint8_t> mark((size_t)s->w * s->h, 0);
    for (int y = 0; y < s->h; y++)
        for (int x = 0; x < s->w; x++) {
            if (s->At(f, r, x, y)) continue;
            static const int N[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
            for (const auto& n : N) {
                int nx = x + n[0], ny = y + n[1];
                if (nx >= 0 && ny >= 0 && nx < s->w && ny < s->h && s->At(f, r, nx, ny) &&
                    s->At(f, r, nx, ny) != ink)
                    mark[(size_t)y * s->w + x] = 1;
            }
        }
    for (int y = 0; y < s->h; y++)
        for (int x = 0; x < s->w; x++)
            if (mark[(size_t)y * s->w + x]) s->At(f, r, x, y) = ink;
}

void Start(GENSPRITE* s, int kind, int frames, int rotations, int w, int h, int nrhot)
{
    *s = GENSPRITE();
    s->kind = kind;
    s->frames = frames;
    s->rotations = rotations;
    s->w = w;
    s->h = h;
    s->pixels.assign((size_t)frames * rotations * w * h, 0);
    s->nrhotspots = nrhot;
    s->hotspots.assign((size_t)frames * rotations * nrhot, SPRITE_POINT{0, 0, 0});
}

void Section(GENSPRITE* s, int no, int first, int last, int32_t speed, int32_t extra)
{
    s->sectionno.push_back(no);
    s->sections.push_back(SPRITE_SECTION{first, last, speed, extra});
}

SPRITE_POINT& Hot(GENSPRITE* s, int f, int r, int n)
{
    return s->hotspots[(size_t)(f * s->rotations + r) * s->nrhotspots + n];
}

// Light falls from the top left: a level offset from the screen position.
int Lit(const LOCAL& l, float scale) { return (int)std::floor((-l.dx - l.dy) / scale); }

int InHullArea(const LOCAL& l) { return std::fabs(l.u) <= 11 && std::fabs(l.v) <= 9; }

void UnitBody(GENSPRITE* s)
{
    Start(s, SPRITE_REGULAR, 2, 8, 32, 32, 2);
    for (int f = 0; f < 2; f++)
        for (int r = 0; r < 8; r++) {
            for (int y = 0; y < 32; y++)
                for (int x = 0; x < 32; x++) {
                    LOCAL l = Local(x, y, 32, 32, r);
                    float au = std::fabs(l.u), av = std::fabs(l.v);
                    uint8_t c = 0;
                    if (au <= 10 && av < 6) {
                        int level = 4 + Lit(l, 8);
                        if (l.u > 7) level++;
                        if (l.u < -8) level--;
                        c = Team(Clamp(level, 1, 7));
                    } else if (au <= 11 && av >= 6 && av <= 9) {
                        int tread = ((int)std::floor(l.u + 12 + 1.5f * f)) % 3;
                        c = tread == 0 ? Grey(1) : Grey(4);
                    }
                    s->At(f, r, x, y) = c;
                }
            Outline(s, f, r, DARK);
            // Drawn as a unit's base part: hot spot 0 stands on the tile's
            // top-left pixel so the hull is centred on the tile; the turret
            // sits on hot spot 1.
            Hot(s, f, r, 0) = SPRITE_POINT{4, 4, 0};
            Hot(s, f, r, 1) = Along(32, 32, r, -1, 0, 6);  // turret mount
        }
    Section(s, 0, 0, 1, 0x4000, 0);
}

void Turret(GENSPRITE* s)
{
    Start(s, SPRITE_REGULAR, 1, 8, 32, 32, 2);
    for (int r = 0; r < 8; r++) {
        for (int y = 0; y < 32; y++)
            for (int x = 0; x < 32; x++) {
                LOCAL l = Local(x, y, 32, 32, r);
                uint8_t c = 0;
                if (l.dx * l.dx + l.dy * l.dy <= 25) c = Team(Clamp(5 + Lit(l, 3), 2, 7));
                else if (l.u >= 3 && l.u <= 13 && std::fabs(l.v) <= 1.0f)
                    c = Grey(l.u > 12 ? 8 : 6);
                s->At(0, r, x, y) = c;
            }
        Outline(s, 0, r, DARK);
        Hot(s, 0, r, 0) = Along(32, 32, r, 0, 0, 8);  // pivot, on the body's mount
        Hot(s, 0, r, 1) = Along(32, 32, r, 14, 0, 8); // muzzle
    }
}

void Shadow(GENSPRITE* s)
{
    Start(s, SPRITE_SHADOW, 1, 8, 32, 32, 1);
    for (int r = 0; r < 8; r++) {
        for (int y = 0; y < 32; y++)
            for (int x = 0; x < 32; x++)
                if (InHullArea(Local(x - 3, y - 3, 32, 32, r))) s->At(0, r, x, y) = 1;
        Hot(s, 0, r, 0) = SPRITE_POINT{4, 4, 0}; // under the hull, as the body stands
    }
}

void Light(GENSPRITE* s)
{
    Start(s, SPRITE_LIGHT, 1, 1, 48, 48, 0);
    for (int y = 0; y < 48; y++)
        for (int x = 0; x < 48; x++) {
            LOCAL l = Local(x, y, 48, 48, 0);
            float d = std::sqrt(l.dx * l.dx + l.dy * l.dy);
            if (d >= 23) continue;
            float k = 1 - d / 23;
            s->At(0, 0, x, y) = (uint8_t)Clamp((int)(255 * k * k), 1, 255);
        }
}

void Tree(GENSPRITE* s)
{
    Start(s, SPRITE_REGULAR, 2, 1, 32, 40, 1);
    for (int f = 0; f < 2; f++) {
        for (int y = 0; y < 40; y++)
            for (int x = 0; x < 32; x++) {
                uint8_t c = 0;
                if (x >= 14 && x <= 17 && y >= 24 && y <= 37) c = Ramp(MKPAL_EARTH, x < 16 ? 6 : 3);
                static const int CROWN[3][3] = {{16, 14, 9}, {11, 19, 7}, {21, 19, 7}};
                for (const auto& k : CROWN) {
                    float dx = x + 0.5f - (k[0] + f), dy = y + 0.5f - k[1];
                    if (dx * dx + dy * dy <= k[2] * k[2]) {
                        int level = 8 + (int)std::floor((-dx - dy) / 3) + (int)(Hash(x, y, 7) % 3);
                        c = Ramp(MKPAL_FOREST, Clamp(level, 3, 14));
                    }
                }
                s->At(f, 0, x, y) = c;
            }
        Outline(s, f, 0, Ramp(MKPAL_FOREST, 0));
        Hot(s, f, 0, 0) = SPRITE_POINT{16, 37, 0};
    }
    Section(s, 0, 0, 1, 0x0800, 0);
}

void Crater(GENSPRITE* s)
{
    Start(s, SPRITE_REGULAR, 1, 1, 32, 24, 0);
    for (int y = 0; y < 24; y++)
        for (int x = 0; x < 32; x++) {
            LOCAL l = Local(x, y, 32, 24, 0);
            float e = (l.dx / 15) * (l.dx / 15) + (l.dy / 11) * (l.dy / 11);
            if (e > 1) continue;
            // Inside, the far (bottom right) wall catches the light; the rim is lit outside.
            int level = e < 0.6f ? 2 + (int)std::floor((l.dx + l.dy) / 8) : 7 + Lit(l, 8);
            s->At(0, 0, x, y) = Ramp(MKPAL_EARTH, Clamp(level, 0, 10));
        }
}

void Explode(GENSPRITE* s)
{
    Start(s, SPRITE_REGULAR, 8, 1, 48, 48, 1);
    for (int f = 0; f < 8; f++) {
        float radius = 5 + 2.5f * f;
        for (int y = 0; y < 48; y++)
            for (int x = 0; x < 48; x++) {
                LOCAL l = Local(x, y, 48, 48, 0);
                float t = std::sqrt(l.dx * l.dx + l.dy * l.dy) / radius;
                if (t >= 1) continue;
                unsigned n = Hash(x, y, f);
                uint8_t c;
                if (f < 5) {
                    c = Ramp(MKPAL_LAVA, 4 + (int)(11 * (1 - t)) - (int)(n % 3));
                } else {
                    if ((int)(n % 8) < (f - 4) * 2) continue; // the smoke thins out
                    c = Grey(2 + (int)(5 * (1 - t)));
                }
                s->At(f, 0, x, y) = c;
            }
        Hot(s, f, 0, 0) = SPRITE_POINT{24, 24, 0};
    }
    Section(s, 0, 0, 7, 0x10000, 0);
}

// The building's walls, 6..41 x 12..41.
int InBuildingBox(int x, int y) { return x >= 6 && x <= 41 && y >= 12 && y <= 41; }

void Building(GENSPRITE* s)
{
    Start(s, SPRITE_REGULAR, 2, 1, 48, 48, 2);
    for (int f = 0; f < 2; f++) {
        for (int y = 0; y < 48; y++)
            for (int x = 0; x < 48; x++) {
                uint8_t c = 0;
                if (x >= 2 && x <= 45 && y >= 8 && y <= 45) c = Ramp(MKPAL_ROCK, 5);
                if (InBuildingBox(x, y)) c = Ramp(MKPAL_ROCK, x < 10 ? 11 : 8);
                if (x >= 8 && x <= 39 && y >= 10 && y <= 30) c = Team(((y - 10) / 3) % 2 ? 4 : 6);
                if (x >= 20 && x <= 27 && y >= 34 && y <= 41) c = Grey(1);
                if (x >= 37 && x <= 39 && y >= 10 && y <= 12) c = Ramp(MKPAL_LAVA, f ? 4 : 15);
                s->At(f, 0, x, y) = c;
            }
        Outline(s, f, 0, DARK);
        Hot(s, f, 0, 0) = SPRITE_POINT{24, 42, 0};  // door
        Hot(s, f, 0, 1) = SPRITE_POINT{38, 11, 20}; // beacon
    }
    Section(s, 0, 0, 0, 0x10000, 0); // construct
    Section(s, 1, 0, 1, 0x0800, 0);  // idle
}

void BuildingShadow(GENSPRITE* s)
{
    Start(s, SPRITE_SHADOW, 1, 1, 56, 56, 0);
    for (int y = 0; y < 56; y++)
        for (int x = 0; x < 56; x++)
            for (int k = 0; k <= 8 && !s->At(0, 0, x, y); k++)
                if (InBuildingBox(x - k, y - k)) s->At(0, 0, x, y) = 1;
}

// A hall three tiles wide with its bay door on the middle tile of the
// front row, where made units come out.
void Factory(GENSPRITE* s)
{
    Start(s, SPRITE_REGULAR, 2, 1, 72, 48, 2);
    for (int f = 0; f < 2; f++) {
        for (int y = 0; y < 48; y++)
            for (int x = 0; x < 72; x++) {
                uint8_t c = 0;
                if (x >= 2 && x <= 69 && y >= 6 && y <= 45) c = Ramp(MKPAL_ROCK, 5);
                if (x >= 5 && x <= 66 && y >= 9 && y <= 41) c = Ramp(MKPAL_ROCK, x < 9 ? 11 : 8);
                if (x >= 8 && x <= 63 && y >= 11 && y <= 22) c = Team(((x - 8) / 4) % 2 ? 3 : 6);
                if (x >= 26 && x <= 45 && y >= 28 && y <= 45) c = Grey(((y - 28) / 2) % 2 ? 2 : 4);
                if (x >= 60 && x <= 63 && y >= 26 && y <= 29) c = Ramp(MKPAL_LAVA, f ? 15 : 4);
                s->At(f, 0, x, y) = c;
            }
        Outline(s, f, 0, DARK);
        Hot(s, f, 0, 0) = SPRITE_POINT{36, 44, 0};  // bay door
        Hot(s, f, 0, 1) = SPRITE_POINT{61, 27, 20}; // beacon
    }
    Section(s, 0, 0, 0, 0x10000, 0); // construct
    Section(s, 1, 0, 1, 0x0800, 0);  // idle
}

} // namespace

SPRITE_DESC GENSPRITE::Desc() const
{
    SPRITE_DESC d;
    d.kind = kind;
    d.frames = frames;
    d.rotations = rotations;
    d.w = w;
    d.h = h;
    d.pixels = pixels.data();
    d.nrhotspots = nrhotspots;
    d.hotspots = hotspots.empty() ? nullptr : hotspots.data();
    d.nrsections = (int)sections.size();
    d.sectionno = sectionno.empty() ? nullptr : sectionno.data();
    d.sections = sections.empty() ? nullptr : sections.data();
    return d;
}

const char* GenSprite_FileName(int id)
{
    static const char* const NAMES[GENSPRITE_COUNT] = {
        "UNITBODY.SPR", "TURRET.SPR",  "SHADOW.SPR",   "LIGHT.SPR",  "TREE.SPR",
        "CRATER.SPR",   "EXPLODE.SPR", "BUILDING.SPR", "BLDSHAD.SPR", "FACTORY.SPR"};
    return id >= 0 && id < GENSPRITE_COUNT ? NAMES[id] : "";
}

void GenSprite_Build(int id, GENSPRITE* out)
{
    switch (id) {
    case GENSPRITE_UNITBODY: UnitBody(out); break;
    case GENSPRITE_TURRET: Turret(out); break;
    case GENSPRITE_SHADOW: Shadow(out); break;
    case GENSPRITE_LIGHT: Light(out); break;
    case GENSPRITE_TREE: Tree(out); break;
    case GENSPRITE_CRATER: Crater(out); break;
    case GENSPRITE_EXPLODE: Explode(out); break;
    case GENSPRITE_BUILDING: Building(out); break;
    case GENSPRITE_BLDSHAD: BuildingShadow(out); break;
    case GENSPRITE_FACTORY: Factory(out); break;
    default: *out = GENSPRITE(); break;
    }
}

void GenSprite_Pattern(int kind, int frames, int rotations, int w, int h, GENSPRITE* out)
{
    Start(out, kind, frames, rotations, w, h, 2);
    for (int f = 0; f < frames; f++)
        for (int r = 0; r < rotations; r++) {
            int i = f * rotations + r;
            for (int y = 0; y < h; y++)
                for (int x = 0; x < w; x++) {
                    uint8_t c;
                    if (h >= 2 && y == h - 1) c = 0;                              // empty row
                    else if (h >= 3 && w >= 2 && y == h / 2) c = (x == 0 || x == w - 1) ? 9 : 0;
                    else if (h >= 4 && y == 1) c = (uint8_t)(1 + (x + i) % 255);  // one long run
                    else if ((x + 2 * y + 3 * i) % 7 == 0 || (x * x + y + i) % 11 == 3) c = 0;
                    else c = (uint8_t)(1 + (x * 3 + y * 5 + i * 7) % 255);
                    out->At(f, r, x, y) = c;
                }
            Hot(out, f, r, 0) = SPRITE_POINT{i % w - 3, h - 1 - i % h, i};
            Hot(out, f, r, 1) = SPRITE_POINT{w + 2, -1, -i};
        }
    Section(out, 0, 0, frames - 1, 0x8000, 7);
    if (frames >= 2) Section(out, 5, 1, frames - 1, 0x20000, -3);
}

#ifndef MKDATA_FUNCTIONS_ONLY
#include <cstdio>
#include <string>

#include "core/fspath.h"
#include "mkdata.h"

static int WriteSprite(const std::string& path, const GENSPRITE& s)
{
    SPRITE_DESC d = s.Desc();
    if (Sprite_Write(path.c_str(), &d)) return 1;
    fprintf(stderr, "mkdata: cannot write [%s]\n", path.c_str());
    return 0;
}

static int Demo(const std::string& rundir)
{
    std::string dir = rundir + "/data/graphics";
    if (!Mkdata_MakeDirs(dir)) return 0;
    for (int id = 0; id < GENSPRITE_COUNT; id++) {
        GENSPRITE s;
        GenSprite_Build(id, &s);
        if (!WriteSprite(dir + "/" + GenSprite_FileName(id), s)) return 0;
    }
    return 1;
}

// Small sprites of each kind, one wider than a run can skip, a demo sprite
// with hot spots and rotations, and that one cut short.
static int Seeds(const std::string& target, const std::string& dir)
{
    if (target != "fuzz_sprite") return 1;
    GENSPRITE s;
    GenSprite_Pattern(SPRITE_REGULAR, 2, 2, 6, 5, &s);
    int ok = WriteSprite(dir + "/tiny.spr", s);
    GenSprite_Pattern(SPRITE_SHADOW, 1, 1, 8, 8, &s);
    ok = ok && WriteSprite(dir + "/shadow.spr", s);
    GenSprite_Pattern(SPRITE_LIGHT, 1, 1, 7, 3, &s);
    ok = ok && WriteSprite(dir + "/light.spr", s);
    GenSprite_Pattern(SPRITE_REGULAR, 1, 1, 300, 4, &s);
    ok = ok && WriteSprite(dir + "/wide.spr", s);
    GenSprite_Build(GENSPRITE_TURRET, &s);
    std::string turret = dir + "/turret.spr";
    ok = ok && WriteSprite(turret, s);
    std::string whole;
    if (ok && Fs_ReadAll(turret.c_str(), &whole))
        ok = Mkdata_WriteFile(dir + "/short.spr", whole.data(), whole.size() / 2);
    if (!ok)
        fprintf(stderr, "mkdata: cannot write the seeds of %s in [%s]\n", target.c_str(),
                dir.c_str());
    return ok;
}

MKDATA_REGISTER(sprites, "sprites", Demo, Seeds);
#endif
