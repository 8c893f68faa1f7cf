#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "core/debug.h"
#include "gen_shellres.h"
#include "platform/input.h"
#include "platform/palette.h"
#include "platform/plat.h"
#include "shell/shellctl.h"
#include "shell/shellres.h"
#include "support/passscript.h"
#include "support/testsupport.h"

using Bytes = std::vector<uint8_t>;

static const uint32_t RECC = SHELL_FOURCC('R', 'E', 'C', 'C');
static const uint32_t DIAL = SHELL_FOURCC('D', 'I', 'A', 'L');
static const uint32_t BTTN = SHELL_FOURCC('B', 'T', 'T', 'N');

static Bytes Pixl(int w, int h, const Bytes& pixels)
{
    Bytes b(8 + (size_t)w * h, 1);
    Bytes_PutU32(&b[0], 0);
    Bytes_PutU16(&b[4], (uint32_t)w);
    Bytes_PutU16(&b[6], (uint32_t)h);
    std::copy(pixels.begin(), pixels.end(), b.begin() + 8);
    return b;
}

// Messages the recording class saw, as "name message" (its first extra word
// names it).
static std::vector<std::string> s_seen;

static intptr_t Recorder(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3, intptr_t p4)
{
    if ((message & 0xFFFF) == SM_CREATE) {
        Shell_Extra(c)[0] = p1;
        return p2; // nonzero refuses
    }
    s_seen.push_back(std::string((const char*)Shell_Extra(c)[0]) + " " + std::to_string(message & 0xFFFF));
    return Shell_ControlDefaultHandler(c, message, p1, p2, p3, p4);
}

// The kit on the headless screen over a library with the scroll art, a
// page background and two fonts.
class ShellKit : public ::testing::Test {
protected:
    QvHeadlessScreen screen;
    QvTempDir dir;
    void SetUp() override
    {
        s_seen.clear();
        Bytes palette(768);
        for (size_t i = 0; i < palette.size(); i++) palette[i] = (uint8_t)i;
        // Font: separator 9, glyphs of 2, 3 and 1 pixels for codes 0, 1, 2.
        Bytes font = {9, 1, 1, 9, 2, 2, 2, 9, 3, 9};
        std::vector<MKSHELLRES> res = {
            {"scroll", SHELLRES_FLT, Mkdata_ShellContainer(SHELLRES_FLT, {{SHELLRES_PIXL, Pixl(8, 40, {})}})},
            {"scrollb", SHELLRES_FLT, Mkdata_ShellContainer(SHELLRES_FLT, {{SHELLRES_PIXL, Pixl(8, 40, {})}})},
            {"page", SHELLRES_FLT,
             Mkdata_ShellContainer(SHELLRES_FLT, {{SHELLRES_RGB3, palette}, {SHELLRES_PIXL, Pixl(64, 48, {})}})},
            {"font", SHELLRES_FLT, Mkdata_ShellContainer(SHELLRES_FLT, {{SHELLRES_PIXL, Pixl(10, 6, font)}})},
            {"nosep", SHELLRES_FLT, Mkdata_ShellContainer(SHELLRES_FLT, {{SHELLRES_PIXL, Pixl(7, 4, {})}})},
        };
        Bytes index, data;
        Mkdata_ShellLibrary(res, &index, &data);
        dir.write("shell.rli", std::string(index.begin(), index.end()));
        dir.write("shell.rld", std::string(data.begin(), data.end()));
        Shell_MapResourceLibrary(dir.file("shell.rli").c_str());
        Shell_InitControls();
        Shell_RegisterControlClass(RECC, Recorder, 1);
        Shell_RegisterControlClass(DIAL, Shell_DialogHandler, 0);
    }
    void TearDown() override
    {
        Shell_CloseControls();
        Shell_FreeDialogBuffer();
        Shell_UnmapResourceLibrary();
    }
    static SHELLCTL* Rec(SHELLCTL* parent, const char* name, int x, int y, int w, int h, uint32_t style = 0)
    {
        return Shell_CreateControl(RECC, parent, style, x, y, w, h, (intptr_t)name, 0, 0, 0);
    }
};

TEST_F(ShellKit, MessagesReachChildrenThenSiblingsAfterTheClassAndNullGivesMinusTwo)
{
    SHELLCTL* root = Rec(nullptr, "root", 0, 0, 100, 100);
    SHELLCTL* a = Rec(root, "a", 0, 0, 10, 10);
    Rec(a, "a1", 0, 0, 5, 5);
    Rec(root, "b", 20, 0, 10, 10);
    Shell_SendMessage(root, SM_DRAW | SHELL_TO_CHILDREN);
    EXPECT_EQ(s_seen, (std::vector<std::string>{"root 16", "b 16", "a 16", "a1 16"}));
    s_seen.clear();
    Shell_SendMessage(root, SM_DRAW);
    EXPECT_EQ(s_seen, (std::vector<std::string>{"root 16"})) << "no bits: the root alone";

    EXPECT_EQ(Shell_SendMessage(nullptr, SM_DRAW), -2);
    EXPECT_EQ(Shell_RegisterControlClass(0, Recorder, 0), -2);
    EXPECT_EQ(Shell_RegisterControlClass(RECC, nullptr, 0), -2);
    EXPECT_EQ(Shell_CreateControl(SHELL_FOURCC('N', 'O', 'N', 'E'), root, 0, 0, 0, 1, 1, 0, 0, 0, 0), nullptr);
    EXPECT_EQ(Shell_CreateControl(RECC, root, 0, 0, 0, 1, 1, (intptr_t)"refused", 1, 0, 0), nullptr);
    EXPECT_EQ(a->x, 0);
    EXPECT_EQ(root->child->x, 20) << "the newest child first, made absolute";

    long blocks = Debug_LiveBlocks();
    Shell_SendMessage(a, SM_DESTROY);
    EXPECT_EQ(root->child->next, nullptr) << "a unlinked from its parent";
    EXPECT_LT(Debug_LiveBlocks(), blocks);
    Shell_SendMessage(root, SM_DESTROY);
}

static intptr_t Other(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3, intptr_t p4)
{
    if ((message & 0xFFFF) == SM_CREATE) return 0;
    return Shell_ControlDefaultHandler(c, message, p1, p2, p3, p4);
}

TEST_F(ShellKit, NewestRegistrationWinsAndRecordsStartZeroed)
{
    Shell_RegisterControlClass(RECC, Other, 3);
    SHELLCTL* c = Shell_CreateControl(RECC, nullptr, 0, 1, 2, 3, 4, 0, 0, 0, 0);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->handler, Other);
    for (int i = 0; i < 3; i++) EXPECT_EQ(Shell_Extra(c)[i], 0) << "word " << i;
    EXPECT_EQ(c->look[0], 240);
    EXPECT_EQ(c->look[2], 250);
    EXPECT_EQ(c->look[4], 208);
    EXPECT_EQ(c->imageW, 3);
    Shell_SendMessage(c, SM_DESTROY);
}

TEST_F(ShellKit, HitTestTakesTheNewestContainingControlAndItsChildren)
{
    SHELLCTL* root = Rec(nullptr, "root", 0, 0, 100, 100);
    SHELLCTL* older = Rec(root, "older", 0, 0, 50, 50);
    SHELLCTL* newer = Rec(root, "newer", 40, 40, 50, 50);
    SHELLCTL* inner = Rec(newer, "inner", 5, 5, 10, 10);
    SHELLCTL* blind = Rec(root, "blind", 0, 80, 20, 20, SHELL_NOHIT);
    SHELLCTL* button = Rec(blind, "button", 0, 0, 5, 5);
    struct Row {
        const char* what;
        int x, y;
        SHELLCTL* hit;
    } rows[] = {
        {"overlap: the newer sibling", 45, 45, inner},
        {"the newer without its child", 60, 60, newer},
        {"only the older", 10, 10, older},
        {"right and bottom edges exclusive", 50, 20, root},
        {"a no-hit control, none of its children there: the page", 10, 90, root},
        {"a child of a no-hit control", 2, 82, button},
        {"outside the root", 100, 0, nullptr},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(Shell_HitTest(root, r.x, r.y), r.hit);
    }
    EXPECT_EQ(Shell_HitTest(blind, 10, 90), nullptr) << "no-hit on its own: no press at all";
    EXPECT_EQ(Shell_HitTest(blind, 2, 82), button);
    Shell_SendMessage(root, SM_DESTROY);
}

TEST_F(ShellKit, FontsSplitAtSeparatorsAndMeasure)
{
    Shell_LoadFont(3, "font");
    Shell_LoadFont(4, "nosep");
    Shell_LoadFont(5, "missing");
    Shell_LoadFont(16, "font");
    int w = -1, h = -1;
    Shell_MeasureText(3, "\x01\x02\x01", &w, &h);
    EXPECT_EQ(w, 3 + 1 + 3);
    EXPECT_EQ(h, 6);
    Shell_MeasureText(3, "\x03", &w, &h);
    EXPECT_EQ(w, 0) << "codes beyond the last separator";
    Shell_MeasureText(4, "\x01", &w, &h);
    EXPECT_EQ(w, 0);
    Shell_MeasureText(5, "abc", &w, &h);
    EXPECT_EQ(w + h, 0) << "empty slot";
    Shell_MeasureText(3, nullptr, &w, &h);
    EXPECT_EQ(w + h, 0);
    EXPECT_FALSE(Shell_FontLoaded(5));
    EXPECT_FALSE(Shell_FontLoaded(16));
}

TEST_F(ShellKit, AFontWithoutSeparatorsGivesCharacterZeroItsWidth)
{
    // Character 0 ends a text, so its width shows in the glyph table alone:
    // every other code is empty and the font still has its height.
    Shell_LoadFont(4, "nosep");
    int w = -1, h = -1;
    for (int code = 1; code < 256; code++) {
        char t[2] = {(char)code, 0};
        Shell_MeasureText(4, t, &w, nullptr);
        ASSERT_EQ(w, 0) << code;
    }
    Shell_MeasureText(4, "", &w, &h);
    EXPECT_EQ(h, 4);
}

static std::string LineText(SHELLCTL* line)
{
    char buf[300];
    Shell_SendMessage(line, SM_GETTEXT, (intptr_t)buf, sizeof buf);
    return buf;
}

// The lines of a list top to bottom, by their positions.
static std::vector<std::string> Shown(SHELLCTL* list)
{
    std::vector<std::pair<int, std::string>> lines;
    for (SHELLCTL* l = list->child; l; l = l->next) lines.emplace_back(l->y, LineText(l));
    std::sort(lines.begin(), lines.end());
    std::vector<std::string> out;
    for (auto& l : lines) out.push_back(l.second);
    return out;
}

TEST_F(ShellKit, SortedListsKeepByteOrderAndScrollOnlyToTheLastPage)
{
    Shell_LoadFont(3, "font"); // 6 pixels a line
    SHELLCTL* root = Rec(nullptr, "root", 0, 0, 200, 200);
    SHELLCTL* box = Shell_CreateControl(SHELL_FOURCC('S', 'B', 'O', 'X'), root, 0, 10, 10, 100, 12, 3, 0, 0, 0);
    ASSERT_NE(box, nullptr);
    SHELLCTL* list = (SHELLCTL*)Shell_Extra(box)[1];
    for (const char* t : {"B", "AB", "A", "AB"}) Shell_SendMessage(box, SM_ADDSORTED, (intptr_t)t);
    EXPECT_EQ(Shown(list), (std::vector<std::string>{"A", "AB", "AB", "B"}));
    EXPECT_EQ(list->child->next->next->next->y, 10) << "the top line at the list's top";

    struct Row {
        intptr_t to, top;
    } rows[] = {{1, 1}, {2, 2}, {3, 2}, {-1, 0}, {100, 2}};
    for (const Row& r : rows) {
        Shell_SendMessage(box, SM_SCROLLTO, r.to);
        EXPECT_EQ(Shell_SendMessage(list, SM_GETTOP), r.top) << "to " << r.to;
    }
    SHELLCTL* bar = (SHELLCTL*)Shell_Extra(box)[0];
    EXPECT_EQ(Shell_SendMessage(bar, SM_GETPOS), 2) << "the bar follows the list";

    Shell_SendMessage(box, SM_CLEAR);
    EXPECT_EQ(list->child, nullptr);
    Shell_SendMessage(box, SM_ADDLINE, (intptr_t)"z");
    Shell_SendMessage(box, SM_ADDLINE, (intptr_t)"a");
    EXPECT_EQ(Shown(list), (std::vector<std::string>{"z", "a"})) << "adding order";

    // No font in the slot: no visible lines rather than a division by zero.
    SHELLCTL* empty = Shell_CreateControl(SHELL_FOURCC('L', 'I', 'S', 'T'), root, 0, 0, 0, 50, 50, 9, 0, 0, 0);
    EXPECT_EQ(Shell_Extra(empty)[1], 0);
    Shell_SendMessage(root, SM_DESTROY);
}

// Records what a scroll bar asks of its parent.
static std::vector<intptr_t> s_scrolls;
static intptr_t ScrollParent(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3, intptr_t p4)
{
    if ((message & 0xFFFF) == SM_SCROLLTO) s_scrolls.push_back(p1);
    if ((message & 0xFFFF) == SM_CREATE) return 0;
    return Shell_ControlDefaultHandler(c, message, p1, p2, p3, p4);
}

TEST_F(ShellKit, ScrollBarsTurnThumbOffsetsIntoLinesAndPlaceTheThumb)
{
    Shell_RegisterControlClass(SHELL_FOURCC('P', 'A', 'R', 'T'), ScrollParent, 0);
    SHELLCTL* parent = Shell_CreateControl(SHELL_FOURCC('P', 'A', 'R', 'T'), nullptr, 0, 0, 0, 100, 100, 0, 0, 0, 0);
    // Frames of 8 x 8: the thumb moves over 100 - 16 - 8 = 76 pixels.
    SHELLCTL* bar = Shell_CreateControl(SHELL_FOURCC('S', 'C', 'R', 'L'), parent, 0, 0, 0, 8, 100, 20, 10, 0, 0);
    ASSERT_NE(bar, nullptr);
    SHELLCTL* thumb = (SHELLCTL*)Shell_Extra(bar)[3];
    struct Row68 {
        const char* what;
        intptr_t total, visible, offset, range, line;
    } rows68[] = {
        {"top", 20, 10, 0, 76, 0},
        {"bottom", 20, 10, 76, 76, 10},
        {"half way rounds", 20, 10, 38, 76, 5},
        {"nothing to scroll", 10, 10, 30, 76, 0},
        {"more visible than total", 5, 10, 30, 76, 0},
        {"range 0", 20, 10, 0, 0, 0},
    };
    for (const Row68& r : rows68) {
        SCOPED_TRACE(r.what);
        Shell_SendMessage(bar, SM_SETRANGE, r.total, r.visible, -1);
        s_scrolls.clear();
        Shell_SendMessage(bar, SM_THUMBMOVED, r.offset, r.range);
        EXPECT_EQ(s_scrolls, std::vector<intptr_t>{r.line});
    }
    struct Row69 {
        const char* what;
        intptr_t total, visible, position;
        int y;
    } rows69[] = {
        {"first line", 20, 10, 0, 8},
        {"last page", 20, 10, 10, 84},
        {"middle", 20, 10, 5, 46},
        {"nothing to scroll", 10, 10, 3, 8},
    };
    for (const Row69& r : rows69) {
        SCOPED_TRACE(r.what);
        Shell_SendMessage(bar, SM_SETRANGE, r.total, r.visible, r.position);
        EXPECT_EQ(thumb->y, r.y);
    }
    thumb->style |= SHELL_PRESSED;
    Shell_SendMessage(bar, SM_SETRANGE, 20, 10, 10);
    EXPECT_EQ(thumb->y, 8) << "a held thumb stays";
    thumb->style &= ~SHELL_PRESSED;

    // The arrows scroll by one line from the stored position.
    Shell_SendMessage(bar, SM_SETRANGE, 20, 10, 4);
    s_scrolls.clear();
    Shell_SendMessage(bar, SM_CLICKED, 1);
    Shell_SendMessage(bar, SM_CLICKED, 2);
    Shell_SendMessage(bar, SM_CLICKED, 3);
    EXPECT_EQ(s_scrolls, (std::vector<intptr_t>{3, 5, 4}));
    Shell_SendMessage(parent, SM_DESTROY);
}

TEST_F(ShellKit, TextsKeepTheirRoomAndCopyOutWithinTheBuffer)
{
    std::string longText(400, 'x');
    SHELLCTL* t = Shell_CreateControl(SHELL_FOURCC('T', 'E', 'X', 'T'), nullptr, 0, 0, 0, 10, 10,
                                      (intptr_t)longText.c_str(), 1, 2, 3);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(LineText(t), std::string(255, 'x'));
    char small[5] = {1, 1, 1, 1, 1};
    Shell_SendMessage(t, SM_GETTEXT, (intptr_t)small, 4);
    EXPECT_STREQ(small, "xxx");
    EXPECT_EQ(small[4], 1);
    Shell_SendMessage(t, SM_SETTEXT, 0, -1, 7, -1);
    EXPECT_EQ(LineText(t).size(), 255u) << "null text keeps";
    EXPECT_EQ(t->look[0], 1);
    EXPECT_EQ(t->look[2], 7);
    EXPECT_EQ(t->look[4], 3);
    Shell_SendMessage(t, SM_DESTROY);
}

TEST_F(ShellKit, FadesStepTheLevelAndStopAtTheEnds)
{
    uint8_t blue[6] = {0, 0, 200, 0, 0, 100};
    Shell_ChangePalette(blue, 0, 2);
    EXPECT_EQ(Shell_FadeSpeed(), 32) << "from black: at once, then a quick fade-in";
    std::vector<int> levels;
    while (Shell_FadeSpeed()) {
        Shell_FadeStep();
        levels.push_back(Shell_FadeLevel());
    }
    EXPECT_EQ(levels, (std::vector<int>{32, 64, 96, 128, 160, 192, 224, 256}));
    Shell_ChangePalette(blue, 0, 2);
    EXPECT_EQ(Shell_FadeSpeed(), 0) << "the same palette";
    int flips = PlatHeadless_Flips();
    uint8_t red[6] = {200, 0, 0, 100, 0, 0};
    Shell_ChangePalette(red, 0, 2);
    EXPECT_EQ(PlatHeadless_Flips() - flips, 16) << "faded out at 16 a frame";
    EXPECT_EQ(Shell_FadeLevel(), 0);
    EXPECT_EQ(Shell_FadeSpeed(), 16);
    uint8_t got[6];
    Shell_FadeStep();
    Graph_GetPalette(got, 0, 2);
    EXPECT_EQ(got[3], 100 * 16 / 256);
}

// A page of one button (id 7) at (10, 10, 20, 20) on the test background.
static intptr_t Page(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3, intptr_t p4)
{
    if ((message & 0xFFFF) == SM_CREATE) {
        Shell_DialogHandler(c, message, p1, p2, p3, p4); // handed over already: 0
        Shell_CreateControl(BTTN, c, 0, 10, 10, 20, 20, 7, 0, 0, 0);
        return 0;
    }
    if ((message & 0xFFFF) == SM_PRESSED) s_seen.push_back("pressed " + std::to_string(p1));
    if ((message & 0xFFFF) == SM_CLICKED) s_seen.push_back("clicked " + std::to_string(p1));
    return Shell_DialogHandler(c, message, p1, p2, p3, p4);
}

TEST_F(ShellKit, TheLoopClicksOnReleaseOverTheButtonDrainsKeysAndQuitsWithTwo)
{
    struct Row {
        const char* what;
        std::vector<QvPass> passes;
        int result;
        std::vector<std::string> seen;
        bool heldBefore = false; // the left button went down over the button before the page
    } rows[] = {
        {"click", {QvMove(15, 15), QvButton(1), QvButton(0)}, 7, {"pressed 7", "clicked 7"}},
        // The press that answered the end picture once clicked the main page's
        // button under the pointer that the engine had centred.
        {"a press from before the page", {{}, QvButton(0), [] { QvPass q; q.quit = true; return q; }()}, 2, {}, true},
        {"release off the button", {QvMove(15, 15), QvButton(1), QvMove(50, 50), QvButton(0), {}, QvKey(30), [] { QvPass q; q.quit = true; return q; }()},
         2, {"pressed 7"}},
        {"a press off the button", {QvMove(50, 50), QvButton(1), QvMove(15, 15), QvButton(0), [] { QvPass q; q.quit = true; return q; }()},
         2, {}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        s_seen.clear();
        SHELLCTL* page = Shell_CreateControl(DIAL, nullptr, 0, 0, 0, 640, 480, (intptr_t)"page", (intptr_t)Page, 0, 0);
        ASSERT_NE(page, nullptr);
        QvPassScript script(50);
        for (const QvPass& p : r.passes) script.Add(p);
        if (r.heldBefore) {
            Input_RawMouseMove(15, 15);
            Input_RawMouseButton(0, 1);
        }
        EXPECT_EQ(Shell_RunDialog(page), r.result);
        EXPECT_FALSE(script.overran);
        EXPECT_EQ(s_seen, r.seen);
        EXPECT_EQ(page->child->style & SHELL_PRESSED, 0u) << "released at the next frame";
        EXPECT_EQ(g_EventHead, nullptr) << "input drained";
        Shell_SendMessage(page, SM_DESTROY);
    }
    EXPECT_EQ(Shell_CreateControl(DIAL, nullptr, 0, 0, 0, 640, 480, (intptr_t)"nopage", (intptr_t)Page, 0, 0), nullptr);
}
