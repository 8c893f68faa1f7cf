// The select tool's selection model over stand-in things: band toggling and
// lighting, one deletion per thing, the two-pass move.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editor/editor.h"
#include "editor/meselect.h"

namespace {

struct Stuff {
    int x, y; // world pixels of a 24 x 24 square
    bool lit = false;
    int deletions = 0;
    int kind = MEBK_UNIT;
    uint32_t autonomy = 0, automove = 0;
};

std::vector<Stuff*> g_things;
int g_brushes = 0; // live probe brushes

class Probe : public MeBrush {
public:
    Stuff* t;
    explicit Probe(Stuff* thing) : t(thing) { x = t->x, y = t->y, g_brushes++; }
    ~Probe() override { g_brushes--; }
    int Kind(void) override { return t->kind; }
    void* Thing(void) override { return t; }
    bool IsSame(MeBrush* other) override { return other->Thing() == t; }
    IRect GetRect(void) override { return IRect(t->x, t->y, 23, 23); }
    void Hilite(void) override { t->lit = true; }
    void UnHilite(void) override { t->lit = false; }
    void Delete(void) override { t->deletions++; }
    void Snap(void) override { x = t->x, y = t->y; }
    // The thing follows only onto a place no other thing holds.
    void MoveBy(const IPoint& d, const IPoint&) override
    {
        x += d.x, y += d.y;
        for (Stuff* o : g_things)
            if (o != t && o->x == x && o->y == y) return;
        t->x = x, t->y = y;
    }
    uint32_t AutonomyBit(void) override { return t->autonomy; }
    uint32_t AutoMoveBit(void) override { return t->automove; }
};

// Walks the stand-in things as the real tool walks units and buildings.
class Tool : public MeToolSelect {
public:
    void SelectInRect(void) override
    {
        for (Stuff* t : g_things) {
            Probe probe(t);
            const int c = ClassifyInBand(&probe);
            if (c) g_MeBrushLists[c == 1 ? MEBL_BANDADD : MEBL_BANDREMOVE].Append(new Probe(t));
        }
    }
    void Band(int x0, int y0, int x1, int y1)
    {
        anchor = IPoint(x0, y0), current = IPoint(x1, y1);
        BandChanged();
    }
    void Select(Stuff& t)
    {
        t.lit = true;
        g_MeBrushLists[MEBL_SELECTION].Append(new Probe(&t));
    }
};

class Select : public testing::Test {
protected:
    void SetUp() override
    {
        for (int i = 0; i < 4; i++) things[i].x = 48 * i, things[i].y = 0;
        for (Stuff& t : things) g_things.push_back(&t);
    }
    void TearDown() override
    {
        tool.ForgetSelection();
        EXPECT_EQ(g_brushes, 0);
        g_things.clear();
    }
    // Per thing: '1' selected and lit, '0' selected and unlit, '*' only lit.
    std::string Picture(void)
    {
        std::string s;
        for (Stuff& t : things) {
            Probe p(&t);
            s += tool.IsSelected(&p) ? (t.lit ? '1' : '0') : t.lit ? '*' : '.';
        }
        return s;
    }
    Stuff things[4];
    Tool tool;
};

TEST_F(Select, BandTogglesAndLightsWhatItCovers)
{
    // Rows run in order on one selection. Each band first spans to x 200,
    // then shrinks to x1: the picture while it is held shows that lighting
    // follows it back.
    struct Row {
        const char* name;
        int x0, x1;
        const char* held;
        const char* after;
    } rows[] = {
        {"a point on the first", 10, 10, "*...", "1..."},
        {"empty map", 30, 40, "1...", "1..."},
        {"over a selected and an unselected", 10, 60, "0*..", ".1.."},
        {"a wider band", 10, 110, "*0*.", "1.1."},
        {"leftwards from the anchor", 100, -100, "0*0.", ".1.."},
    };
    for (const Row& row : rows) {
        tool.Band(row.x0, 10, 200, 10);
        tool.Band(row.x0, 10, row.x1, 10);
        EXPECT_EQ(Picture(), row.held) << row.name;
        tool.BandDone();
        EXPECT_EQ(Picture(), row.after) << row.name;
        EXPECT_EQ(g_MeBrushLists[MEBL_BANDADD].count + g_MeBrushLists[MEBL_BANDREMOVE].count, 0) << row.name;
    }
}

TEST_F(Select, CancelClearsAndUnlights)
{
    tool.Select(things[0]), tool.Select(things[2]);
    tool.SetState(METS_CLICK);
    tool.Cancel(1);
    EXPECT_EQ(Picture(), "....");
    EXPECT_EQ(tool.state, METS_IDLE);
    EXPECT_EQ(g_brushes, 0);
}

TEST_F(Select, EveryThingDeletedOnce)
{
    struct Row {
        const char* name;
        bool duplicates; // RemoveDuplicateObjects, else DeleteSelection
        std::vector<int> picks;
        std::vector<int> deletions;
        int left;
    } rows[] = {
        {"selected twice then deleted", false, {0, 1, 0, 1}, {1, 1, 0, 0}, 0},
        {"one object selected twice is no duplicate", true, {2, 2}, {0, 0, 0, 0}, 1},
        {"two objects on one place", true, {2, 3, 3}, {0, 0, 0, 1}, 1},
    };
    for (const Row& row : rows) {
        for (Stuff& t : things) t.deletions = 0, t.kind = MEBK_OBJECT;
        things[3].x = things[2].x;
        for (int i : row.picks) tool.Select(things[i]);
        if (row.duplicates)
            tool.RemoveDuplicateObjects();
        else
            tool.DeleteSelection();
        for (int i = 0; i < 4; i++) EXPECT_EQ(things[i].deletions, row.deletions[i]) << row.name << " thing " << i;
        EXPECT_EQ(g_MeBrushLists[MEBL_SELECTION].count, row.left) << row.name;
        tool.ForgetSelection();
    }
}

TEST_F(Select, MoveLetsABlockedThingFollow)
{
    things[1].x = 24;
    tool.Select(things[0]), tool.Select(things[1]);
    tool.MoveBy(IPoint(24, 0), IPoint(0, 0));
    EXPECT_EQ(things[0].x, 24);
    EXPECT_EQ(things[1].x, 48);
    // A blocked move keeps only the brush ahead; release snaps it back.
    tool.MoveBy(IPoint(96, 0), IPoint(0, 0)); // things[1] would land on things[3]
    tool.MoveDone();
    EXPECT_EQ(g_MeBrushLists[MEBL_SELECTION].tail->x, things[1].x);
    EXPECT_EQ(things[1].x, 48);
}

TEST_F(Select, ForgetDestroysBrushesOnly)
{
    tool.Select(things[0]);
    tool.Band(0, 0, 200, 0);
    EXPECT_GT(g_brushes, 1);
    tool.ForgetSelection();
    EXPECT_EQ(g_brushes, 0);
    for (Stuff& t : things) EXPECT_EQ(t.deletions, 0);
}

TEST_F(Select, MasksTellAMixedSelection)
{
    things[0].autonomy = 1, things[1].autonomy = 4;
    things[2].autonomy = 2, things[2].automove = 1; // an automover's autonomy is not counted
    for (Stuff& t : things) tool.Select(t);
    tool.SelectionChanged();
    EXPECT_EQ(tool.masks.autonomy, 5u);
    EXPECT_EQ(tool.masks.automove, 1u);
}

} // namespace
