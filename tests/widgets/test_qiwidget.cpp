// The widget base: hit tests, notification, the tree, routing along the
// input path, loading by name, and the tree root's deletion.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/testsupport.h"
#include "widgets/qiproptree.h"
#include "widgets/qiwidget.h"

namespace {

std::vector<std::string> s_calls;

int Handler(QIWidget* w, int code, QIARG arg)
{
    s_calls.push_back(std::string("handler ") + w->name.c_str() + " " + std::to_string(code));
    return 10 + (int)arg;
}

// A listener that records what its children tell it.
class Listener : public QIWidget {
public:
    Listener() : QIWidget("listener", nullptr) {}
    int OnChildNotify(QIWidget* child, int code, QIARG) override
    {
        s_calls.push_back(std::string("listener ") + child->name.c_str() + " " + std::to_string(code));
        return 99;
    }
};

// Counts its own deletions.
class Counted : public QIWidget {
public:
    explicit Counted(const char* n, int* deaths) : QIWidget(n, nullptr), deaths_(deaths) {}
    ~Counted() override { ++*deaths_; }

private:
    int* deaths_;
};

class WidgetTree : public testing::Test {
protected:
    void SetUp() override
    {
        g_QIDefaultFlags = QIWF_SHOWN | QIWF_HITTEST;
        s_calls.clear();
    }
    void TearDown() override { g_QIDefaultFlags = 0; }
    QIWidget* Add(QIWidget* parent, const char* name, IRect r = IRect(0, 0, 0, 0))
    {
        QIWidget* w = new QIWidget(name, Handler);
        w->Assign(r);
        QIWidget::AddChild(parent, w);
        return w;
    }
    QITreeRoot root;
};

} // namespace

TEST_F(WidgetTree, HitTestDescendsIntoHitTestableChildrenOnly)
{
    QIWidget* top = Add(nullptr, "top", IRect(0, 0, 200, 200));
    QIWidget* a = Add(top, "a", IRect(10, 10, 50, 50));
    QIWidget* b = Add(top, "b", IRect(10, 10, 100, 100));
    QIWidget* inner = Add(b, "inner", IRect(80, 80, 10, 10));
    a->flags &= ~QIWF_HITTEST;
    const struct {
        int x, y;
        QIWidget* expect;
    } cases[] = {
        {20, 20, b},         // inside a, but a is skipped
        {85, 85, inner},     // nested
        {90, 85, b},         // inner's right edge is outside
        {85, 90, b},         // and its bottom edge
        {109, 109, b},       // b's last pixel
        {110, 50, top},      // b's right edge
        {-5, -5, top},       // outside everything: the widget asked
    };
    for (const auto& c : cases)
        EXPECT_EQ(top->HitTest(IPoint(c.x, c.y)), c.expect) << c.x << "," << c.y;
}

TEST_F(WidgetTree, NotifyCallsHandlerThenListenerWhoseResultWins)
{
    Listener listener;
    const struct {
        bool handler, listener;
        int result;
        std::vector<std::string> calls;
    } cases[] = {
        {false, false, 0, {}},
        {true, false, 15, {"handler w 12"}},
        {false, true, 99, {"listener w 12"}},
        {true, true, 99, {"handler w 12", "listener w 12"}},
    };
    for (const auto& c : cases) {
        s_calls.clear();
        QIWidget w("w", c.handler ? Handler : nullptr);
        w.listener = c.listener ? &listener : nullptr;
        EXPECT_EQ(w.Notify(QIN_CHANGED, 5), c.result);
        EXPECT_EQ(s_calls, c.calls);
    }
}

TEST_F(WidgetTree, AddChildOrdersCountsAndDeletesWithTheRoot)
{
    int deaths = 0;
    auto* root2 = new QITreeRoot;
    QIWidget* first = new Counted("first", &deaths);
    QIWidget* second = new Counted("second", &deaths);
    QIWidget::AddChild(nullptr, first);
    QIWidget::AddChild(nullptr, second);
    EXPECT_EQ(root2->first, second) << "a top-level widget goes first";
    QIWidget* kids[3];
    for (int i = 0; i < 3; i++) QIWidget::AddChild(first, kids[i] = new Counted("kid", &deaths));
    QIWidget::AddChild(kids[1], new Counted("grandchild", &deaths));
    EXPECT_EQ(first->firstChild, kids[0]);
    EXPECT_EQ(kids[0]->next, kids[1]);
    EXPECT_EQ(kids[2]->next, nullptr);
    EXPECT_EQ(root2->count, 6u);
    root2->DeleteSubtree(kids[1]);
    EXPECT_EQ(deaths, 2);
    EXPECT_EQ(kids[0]->next, kids[2]);
    EXPECT_EQ(root2->count, 4u);
    delete root2;
    EXPECT_EQ(deaths, 6);
    EXPECT_EQ(g_QIDesktop, nullptr) << "a deleted root is no longer current";
}

TEST_F(WidgetTree, HiddenAndMarkedFollowTheTree)
{
    QIWidget* top = Add(nullptr, "top");
    QIWidget* mid = Add(top, "mid");
    QIWidget* leaf = Add(mid, "leaf");
    QIWidget* other = Add(top, "other");
    EXPECT_FALSE(QIWidget::IsHidden(nullptr));
    EXPECT_FALSE(leaf->IsHidden());
    top->flags &= ~QIWF_SHOWN;
    EXPECT_TRUE(leaf->IsHidden()) << "a grandparent without the shown flag";
    mid->MarkTree();
    EXPECT_TRUE(mid->flags & leaf->flags & QIWF_MARK);
    EXPECT_FALSE((top->flags | other->flags) & QIWF_MARK);
}

TEST_F(WidgetTree, InputFollowsThePathToItsTarget)
{
    QIWidget* top = Add(nullptr, "top");
    QIWidget* mid = Add(top, "mid");
    QIWidget* leaf = Add(mid, "leaf");
    QIWidget* path[] = {nullptr, leaf, mid, top};
    EXPECT_EQ(top->HandleInput(&path[2], 3, 1), 11);
    EXPECT_EQ(s_calls, std::vector<std::string>{"handler leaf 3"});
    s_calls.clear();
    EXPECT_EQ(top->HandleInput(&path[0], 4, 0), 10);
    EXPECT_EQ(s_calls, std::vector<std::string>{"handler top 4"});
    top->FilterChar(&path[2], nullptr); // nobody takes keys yet
}

TEST_F(WidgetTree, LoadReadsRectAndFlagsAndKeepsWhatIsMissing)
{
    QIPropTree tree;
    tree.Enter("w");
    tree.Enter("Rect");
    tree.SetInt("x", 7);
    tree.SetInt("w", 30);
    tree.Leave();
    tree.SetInt("Disabled", 1);
    tree.SetInt("FastLeft", 2); // bit 0 decides
    tree.Leave();
    QIWidget w("w", nullptr);
    w.flags |= QIWF_STICKY | QIWF_FASTLEFT;
    w.Assign(IRect(1, 2, 3, 4));
    EXPECT_EQ(w.Load(&tree, nullptr), 1);
    EXPECT_EQ(tree.current->name.CompareCStr("w"), QISTR_EQUAL) << "its section stays entered";
    EXPECT_EQ(w.x, 7);
    EXPECT_EQ(w.y, 2);
    EXPECT_EQ(w.w, 30);
    EXPECT_EQ(w.flags & (QIWF_DISABLED | QIWF_FASTLEFT | QIWF_STICKY), QIWF_DISABLED | QIWF_STICKY);
    tree.Leave();
    EXPECT_EQ(tree.Text().find("Sticky"), std::string::npos) << "a read writes nothing";
}

TEST_F(WidgetTree, AddingALinkedWidgetIsFatal)
{
    QIWidget* top = Add(nullptr, "top");
    QIWidget* child = Add(top, "child");
    QIWidget* last = Add(top, "last");
    QV_EXPECT_FATAL(QIWidget::AddChild(top, child), "ASSERT (child && !Attached(child))");
    QV_EXPECT_FATAL(QIWidget::AddChild(nullptr, top), "ASSERT (child && !Attached(child))");
    (void)last;
}
