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
        {"touches bottom edge", IRect(10, 25, 1, 1), true},
        {"touches corner", IRect(20, 25, 3, 3), true},
        {"one pixel left", IRect(0, 10, 4, 1), false},
        {"one pixel below", IRect(10, 26, 1, 1), false},
        {"far away", IRect(-1000, -1000, 5, 5), false},
        {"huge rectangle", IRect(INT32_MAX - 1, 0, INT32_MAX, 5), false},
    };
    Probe p(IRect(5, 5, 15, 20));
    for (const Row& row : rows) EXPECT_EQ(p.Intersects(row.r), row.hit) << row.name;
}

TEST(Brush, ListLinksAndUnlinks)
{
    MeBrushList list;
    Probe a(IRect(0, 0, 1, 1)), b(IRect(0, 0, 1, 1)), c(IRect(0, 0, 1, 1));
    list.Append(nullptr);
    EXPECT_EQ(list.count, 0);
    list.Append(&a), list.Append(&b), list.Append(&c);
    ASSERT_EQ(list.count, 3);
    EXPECT_TRUE(list.head == &a && list.tail == &c && a.Next() == &b && c.Prev() == &b);

    struct Row {
        const char* name;
        MeBrush* gone;
    } rows[] = {{"middle", &b}, {"tail", &c}, {"head", &a}};
    int left = 3;
    for (const Row& row : rows) {
        list.Remove(row.gone);
        left--;
        EXPECT_EQ(list.count, left) << row.name;
        EXPECT_FALSE(list.Holds(row.gone)) << row.name;
        EXPECT_TRUE(row.gone->next == nullptr && row.gone->prev == nullptr) << row.name;
        for (MeBrush* x = list.head; x; x = x->Next())
            EXPECT_TRUE(x->Next() == nullptr || x->Next()->Prev() == x) << row.name;
    }
    EXPECT_TRUE(list.head == nullptr && list.tail == nullptr);
}

TEST(Brush, ListDestroysBrushesNeverThings)
{
    Stuff things[3];
    int destroyed = 0;
    {
        MeBrushList list;
        MeBrush* made[3];
        for (int i = 0; i < 3; i++) list.Append(made[i] = new Probe(IRect(0, 0, 1, 1), &things[i], &destroyed));
        list.UnlinkAll();
        EXPECT_EQ(list.count, 0);
        EXPECT_EQ(destroyed, 0);
        for (MeBrush* b : made) {
            EXPECT_TRUE(b->next == nullptr && b->prev == nullptr);
            list.Append(b);
        }
        EXPECT_EQ(list.count, 3);
    }
    EXPECT_EQ(destroyed, 3);
    for (const Stuff& t : things) EXPECT_FALSE(t.deleted);
}

} // namespace
