// Brushes and their lists: edge contact, linking, and destruction that
// leaves the things alone.
#include <gtest/gtest.h>

#include "editor/mebrush.h"

namespace {

struct Stuff {
    bool deleted = false;
};

// A brush over a fixed rectangle that counts its destructions.
class Probe : public MeBrush {
public:
    IRect rect;
    Stuff* thing;
    int* destroyed;
    Probe(IRect r, Stuff* t = nullptr, int* d = nullptr) : rect(r), thing(t), destroyed(d) {}
    ~Probe() override
    {
        if (destroyed) (*destroyed)++;
    }
    IRect GetRect(void) override { return rect; }
    void Delete(void) override { thing->deleted = true; }
};

TEST(Brush, IntersectsCountsTouchingEdges)
{
    struct Row {
        const char* name;
        IRect r;
        bool hit;
    } rows[] = {
        {"inside", IRect(10, 10, 2, 2), true},
        {"touches left edge", IRect(0, 10, 5, 1), true},
        {"touches corner", IRect(20, 25, 3, 3), true},
        {"one pixel left", IRect(0, 10, 4, 1), false},
        {"one pixel below", IRect(10, 26, 1, 1), false},
        {"huge rectangle", IRect(INT32_MAX - 1, 0, INT32_MAX, 5), false},
    };
    Probe p(IRect(5, 5, 15, 20));
    for (const Row& row : rows) EXPECT_EQ(p.Intersects(row.r), row.hit) << row.name;
}

TEST(Brush, ListUnlinksAnywhereAndDestroysBrushesOnly)
{
    Stuff things[3];
    int destroyed = 0;
    {
        MeBrushList list;
        MeBrush* made[3];
        list.Append(nullptr);
        for (int i = 0; i < 3; i++) list.Append(made[i] = new Probe(IRect(0, 0, 1, 1), &things[i], &destroyed));
        ASSERT_EQ(list.count, 3);
        list.Remove(made[1]);
        EXPECT_TRUE(list.head == made[0] && made[0]->Next() == made[2] && made[2]->Prev() == made[0]);
        list.Remove(made[2]);
        EXPECT_TRUE(list.tail == made[0] && made[0]->Next() == nullptr && list.count == 1);
        list.UnlinkAll();
        EXPECT_TRUE(list.head == nullptr && list.tail == nullptr && destroyed == 0);
        for (MeBrush* b : made) {
            EXPECT_TRUE(b->next == nullptr && b->prev == nullptr);
            list.Append(b);
        }
    }
    EXPECT_EQ(destroyed, 3);
    for (const Stuff& t : things) EXPECT_FALSE(t.deleted);
}

} // namespace
