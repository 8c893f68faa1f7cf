// Seeds for the interface's fuzz targets: a text field typed into, edited
// with the cursor keys and confirmed; and a frame of clicks over the top
// bar, the panel selectors and the map view with a key and a wheel turn.
#include <cstdint>
#include <string>

#include "mkdata.h"
#include "platform/input.h"

static void Put16(std::string* out, int v)
{
    out->push_back((char)(v & 0xff));
    out->push_back((char)((v >> 8) & 0xff));
}

// One event record of fuzz_igievent: kind index, x, y, key, character,
// modifiers, wheel value, pointer flags, frame flags.
static void Event(std::string* out, int kind, int x, int y, int key = 0, int ch = 0, int value = 0,
                  int frame = 0)
{
    out->push_back((char)kind);
    Put16(out, x);
    Put16(out, y);
    out->push_back((char)key);
    out->push_back((char)ch);
    out->push_back(0);
    Put16(out, value);
    out->push_back(0);
    out->push_back((char)frame);
}

static int Seeds(const std::string& target, const std::string& dir)
{
    if (target == "fuzz_textfield") {
        std::string s = {32, 16, (char)0xff, (char)0xff, 0, 5};
        s += "hello";
        const int keys[][3] = {{SC_A, 'a', 0},   {SC_LEFT, 0, MOD_CTRL}, {SC_BACKSPACE, 0, 0},
                               {SC_DELETE, 0, 0}, {SC_HOME, 0, 0},        {SC_RETURN, 0, 0}};
        for (const auto& k : keys)
            for (int b : k) s.push_back((char)b);
        return Mkdata_WriteFile(dir + "/typed.bin", s.data(), s.size());
    }
    if (target == "fuzz_igievent") {
        // Kind indexes: 0 right down, 1 left down, 2 key, 3 left up, 4 right up, 9 wheel.
        std::string s;
        Event(&s, 0x81, 300, 10);
        Event(&s, 3, 300, 10, 0, 0, 0, 0x80);
        Event(&s, 1, 400, 10);
        Event(&s, 3, 400, 10, 0, 0, 0, 0x80);
        Event(&s, 3, 460, 40);
        Event(&s, 3, 460, 10);
        Event(&s, 3, 600, 350);
        Event(&s, 4, 100, 100);
        Event(&s, 2, 50, 50, SC_A, 'a');
        Event(&s, 9, 100, 100, 0, 0, -120, 0x81);
        Event(&s, 3, -5000, 30000);
        return Mkdata_WriteFile(dir + "/frame.bin", s.data(), s.size());
    }
    if (target == "fuzz_mouse") {
        // Records: kind index (0 right down, 1 left down, 2 left up, 3 right
        // up, 5 double-click release), x, y, modifiers, action mode, flags.
        std::string s;
        auto rec = [&s](int kind, int x, int y, int mods, int mode, int flags) {
            s.push_back((char)kind);
            Put16(&s, x);
            Put16(&s, y);
            s.push_back((char)mods);
            s.push_back((char)mode);
            s.push_back((char)flags);
        };
        rec(1, 60, 100, 0, 0xff, 1);         // a box over the tanks
        rec(1, 200, 300, 0, 0xff, 3);
        rec(2, 200, 300, 0, 0xff, 3);
        rec(1, 300, 300, 0, 0xff, 1);        // a ground click
        rec(2, 300, 300, 0, 0xff, 3);
        rec(0, 200, 200, 0, 0xff, 1);        // a right drag
        rec(0, 260, 240, 0, 0xff, 3);
        rec(3, 260, 240, 0, 0xff, 3);
        rec(2, 500, 400, 0, 3, 3);           // the minimap in fire mode
        rec(2, 480, 90, 0, 0xff, 3);         // the building list
        rec(5, 250, 270, 2, 0xff, 3);        // a shifted double click on the hut
        rec(2, 100, 200, 0, 6, 0x0f);        // a waypoint in the trail panel
        return Mkdata_WriteFile(dir + "/mouse.bin", s.data(), s.size());
    }
    if (target == "fuzz_keys") {
        // Records: scan code, held keys (1 left Shift, 4 left Ctrl, 8 right
        // Ctrl, 64 debug mode, 128 select a unit), character, flags, place.
        const uint8_t recs[][5] = {
            {2, 0x84, 0, 1, 40}, {2, 0, '1', 0, 0},    {2, 1, '!', 0, 0},     {49, 0, 'n', 0, 0},
            {18, 1, 'E', 0, 0},  {30, 0, 'a', 1, 90},  {31, 0, 's', 0, 0},   {88, 0, 0, 0, 0},
            {31, 0, 's', 0, 0},  {88, 0, 0, 0, 0},     {15, 0x80, 0, 0, 0},  {38, 5, 0, 0, 0},
            {48, 5, 0, 0, 0},    {12, 0x45, 0, 0, 0},  {13, 0x45, 0, 0, 0},  {67, 0x45, 0, 0, 0},
            {68, 0x45, 0, 0, 0}, {81, 0x45, 0, 0, 0},  {73, 0x47, 0, 0, 0},  {41, 0x45, 0, 0, 0},
            {22, 0x45, 0, 0, 0}, {59, 0, 0, 2, 60},    {88, 0, 0, 2, 60},    {199, 0, 0, 0, 0},
        };
        std::string s;
        for (const auto& r : recs) s.append((const char*)r, sizeof r);
        return Mkdata_WriteFile(dir + "/keys.bin", s.data(), s.size());
    }
    return 1;
}

MKDATA_REGISTER(uiseeds, "uiseeds", nullptr, Seeds);
