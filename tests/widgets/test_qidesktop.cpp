// The desktop: hit tests, its loop on the virtual clock (hover, presses,
// repeats, capture and keys), and keeping its references sound as widgets
// come and go.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/gamestate.h"
#include "core/mlstring.h"
#include "core/tlog.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "support/passscript.h"
#include "support/testsupport.h"
#include "widgets/qidesktop.h"
#include "widgets/qiproptree.h"

namespace {

typedef std::vector<std::string> LOG;

// Records keys as well as events; capture ticks are left out of the log.
class Rec : public QIWidget {
public:
    Rec(const char* n, const IRect& r) : QIWidget(n, nullptr) { Assign(r); }
    int Notify(int kind, QIARG arg) override
    {
        if (kind == QIE_CAPTURETICK) return 0;
        if (kind == QIE_LEFTDOWN && timed)
            QvPass_Log().push_back(std::to_string(Plat_SystemMs()));
        else
            QvPass_Record(this, kind, arg);
        return 0;
    }
    void FilterChar(QIWidget** path, QIKey* key) override
    {
        if (*path) return QIWidget::FilterChar(path, key);
        QvPass_Log().push_back(std::string(name.c_str()) + " key" + std::to_string(key->code));
    }
    bool timed = false; // log the time of presses instead
};

class Desktop : public testing::Test {
protected:
    QvHeadlessScreen screen;
    // A page with four widgets in a row, 50 wide, 100 apart; c a tab stop.
    void Build(QIDesktopBase* d)
    {
        page = new Rec("page", IRect(0, 0, 640, 480));
        QIWidget::AddChild(nullptr, page);
        const char* names[4] = {"a", "b", "c", "d"};
        for (int i = 0; i < 4; i++) QIWidget::AddChild(page, w[i] = new Rec(names[i], IRect(100 * i, 0, 50, 50)));
        w[2]->flags |= QIWF_TABSTOP;
        d->SetFocus(nullptr);
    }
    Rec* page = nullptr;
    Rec* w[4] = {};
};

void KeyHook(QIKey* key, QIPointer*) { QvPass_Log().push_back("hook key" + std::to_string(key->code)); }

} // namespace

TEST_F(Desktop, HitTestTakesLaterSiblingsAndChildrenFirstAndSkipsHidden)
{
    QIDesktopBase d("Test", nullptr);
    QIWidget* top = new QIWidget("top", nullptr);
    top->Assign(IRect(0, 0, 640, 480));
    QIWidget::AddChild(nullptr, top);
    auto add = [](QIWidget* parent, const char* n, IRect r) {
        QIWidget* x = new QIWidget(n, nullptr);
        x->Assign(r);
        QIWidget::AddChild(parent, x);
        return x;
    };
    QIWidget* a = add(top, "a", IRect(10, 10, 100, 100));
    QIWidget* child = add(a, "child", IRect(20, 20, 10, 10));
    QIWidget* b = add(top, "b", IRect(60, 60, 100, 100));
    QIWidget* hidden = add(top, "hidden", IRect(300, 300, 50, 50));
    add(hidden, "under", IRect(300, 300, 10, 10));
    QIWidget* grab = add(top, "grab", IRect(500, 0, 10, 10));
    QIWidget* late = add(top, "late", IRect(400, 400, 50, 50));
    QIWidget* deaf = add(top, "deaf", IRect(200, 200, 50, 50));
    QIWidget* inDeaf = add(deaf, "inDeaf", IRect(200, 200, 10, 10));
    hidden->flags &= ~QIWF_SHOWN;
    deaf->flags &= ~QIWF_HITTEST;
    const struct {
        int x, y;
        bool grabs;
        QIWidget* expect;
    } cases[] = {
        {15, 15, false, a},         {70, 70, false, b},       {25, 25, false, child},
        {305, 305, false, top},     {410, 410, false, late},  {5, 5, false, top},
        {205, 205, false, inDeaf},  {220, 220, false, top},   {305, 305, true, grab},
        {5, 5, true, grab},         {410, 410, true, late},   {449, 449, true, late},
        {640, 480, false, nullptr},
    };
    for (const auto& c : cases) {
        grab->flags = c.grabs ? (grab->flags | QIWF_CAPTURE) : (grab->flags & ~QIWF_CAPTURE);
        QIPointer p;
        p.x = c.x;
        p.y = c.y;
        EXPECT_EQ(d.HitTestAll(p), c.expect) << c.x << "," << c.y << " grab " << c.grabs;
    }
}

TEST_F(Desktop, LoopRoutesHoverPressesReleasesAndKeys)
{
    const struct {
        const char* rule;
        std::function<void(QIDesktop*, Rec**)> setup;
        std::vector<QvPass> passes;
        LOG expect;
    } cases[] = {
        {"moving off while held moves the focus; the release goes to the new one",
         nullptr,
         {QvMove(10, 10), QvButton(1), QvMove(110, 10), QvButton(0)},
         {"a 1", "a 3", "a 2", "b 1", "b 4"}},
        {"Sticky keeps the focus while held; the release moves it",
         [](QIDesktop*, Rec** w) { w[0]->flags |= QIWF_STICKY; },
         {QvMove(10, 10), QvButton(1), QvMove(110, 10), QvButton(0)},
         {"a 1", "a 3", "a 2", "b 1"}},
        {"Sticky with MoveUpdate gets the move",
         [](QIDesktop*, Rec** w) { w[0]->flags |= QIWF_STICKY | QIWF_MOVEUPDATE; },
         {QvMove(10, 10), QvButton(1), QvMove(110, 10), QvButton(0)},
         {"a 1", "a 3", "a 9", "a 2", "b 1"}},
        {"QuickClickGoesToTheWidgetUnderIt: a move and a press in one pass",
         nullptr,
         {QvMove(10, 10), [] { QvPass q = QvMove(110, 10); q.button = 0; q.down = 1; return q; }(), QvButton(0)},
         {"a 1", "a 2", "b 1", "b 3", "b 4"}},
        {"a press takes the capture first",
         [](QIDesktop* d, Rec** w) { d->SetCapture(w[2], true); },
         {QvMove(10, 10), QvButton(1)},
         {"c 15", "a 1", "c 16", "a 3"}},
        {"Tab with a single tab stop: the key once, the capture kept",
         [](QIDesktop* d, Rec** w) { d->SetCapture(w[2], true); },
         {QvKey(SC_TAB)},
         {"c 15", "c key15"}},
        {"Tab moves the capture to the next tab stop, wrapping",
         [](QIDesktop* d, Rec** w) {
             w[0]->flags |= QIWF_TABSTOP;
             d->SetCapture(w[2], true);
         },
         {QvKey(SC_TAB)},
         {"c 15", "c key15", "c 16", "a 15", "a key15"}},
        {"a key without capture or hook is dropped", nullptr, {QvKey(SC_A)}, {}},
        {"a key without capture goes to the key hook",
         [](QIDesktop* d, Rec**) { d->keyHook = KeyHook; },
         {QvKey(SC_A)},
         {"hook key30"}},
        {"HideWidget under the pointer: 2 at once, 1 to what is under it next pass",
         [](QIDesktop*, Rec** w) {
             QIWidget::AddChild(w[0], new Rec("inner", IRect(0, 0, 20, 20)));
         },
         {QvMove(10, 10), QvPass(), QvPass()},
         {"inner 1", "inner 2", "page 1"}},
        {"relative mode re-centres and hit-tests nothing",
         [](QIDesktop* d, Rec**) { d->SavePointer(); },
         {QvMove(10, 10), QvMove(600, 10)},
         {}},
    };
    for (const auto& c : cases) {
        QvPass_Log().clear();
        QIDesktop d("Test", nullptr, QIImage(), "wdemo\\");
        Build(&d);
        Input_RawMouseMove(630, 470); // over the page only
        if (c.setup) c.setup(&d, w);
        QvPassScript script;
        for (const auto& p : c.passes) script.Add(p);
        if (std::string(c.rule).rfind("HideWidget", 0) == 0)
            script.onPass = [&](int pass) {
                if (pass == 2) d.HideWidget(w[0]);
            };
        d.EventLoop(nullptr, 0);
        LOG got = QvPass_Log();
        // The pointer starts over the page: unless a row is about the page,
        // its focus coming and going is left out.
        for (const char* pageEvent : {"page 1", "page 2"})
            if (std::find(c.expect.begin(), c.expect.end(), pageEvent) == c.expect.end())
                got.erase(std::remove(got.begin(), got.end(), pageEvent), got.end());
        EXPECT_EQ(got, c.expect) << c.rule;
        EXPECT_FALSE(script.overran) << c.rule;
        if (std::string(c.rule).rfind("relative", 0) == 0) {
            int x = 0, y = 0;
            EXPECT_GT(PlatHeadless_LastWarp(&x, &y), 0);
            EXPECT_TRUE(x == QIPOINTER_CENTREX && y == QIPOINTER_CENTREY) << x << "," << y;
            EXPECT_EQ(d.focusWidget, nullptr);
        }
    }
}

TEST_F(Desktop, HeldButtonsRepeatOnTheDesktopsDelays)
{
    const struct {
        const char* rule;
        uint32_t flag;
        int initial, delay; // 0: the defaults, else through an attached tree
        LOG expect;         // press times, 5 ms passes
    } cases[] = {
        {"RepeatLeft: at once, after 300, then every 75", QIWF_REPEATLEFT, 0, 0,
         {"0", "305", "385", "465"}},
        {"delays from the property tree", QIWF_REPEATLEFT, 100, 50,
         {"0", "105", "160", "215", "270", "325", "380", "435", "490"}},
        {"FastLeft: every pass", QIWF_FASTLEFT, 0, 0, {}},
        {"neither: once", 0, 0, 0, {"0"}},
    };
    for (const auto& c : cases) {
        QvPass_Log().clear();
        PlatHeadless_SetClock(0, 0);
        QvTempDir dir;
        QIDesktop d("Test", nullptr, QIImage(), "wdemo\\");
        QIPropTree tree(dir.file("desk.txt").c_str());
        if (c.initial) {
            dir.write("desk.txt", "Test(\n RepeatDelayInitial = " + std::to_string(c.initial) +
                                      "\n RepeatDelay = " + std::to_string(c.delay) + "\n)\n");
            d.propTree = &tree;
            d.LoadProperties();
            EXPECT_EQ(d.RepeatDelayInitial, c.initial) << tree.Text();
        }
        Build(&d);
        Input_RawMouseButton(0, 0);
        Mouse_FlushEvents();
        Input_RawMouseMove(630, 470);
        w[0]->flags |= c.flag;
        w[0]->timed = true;
        QvPassScript script;
        script.Add(QvMove(10, 10));
        script.Add(QvButton(1));
        script.Wait(5, 100);
        d.EventLoop(nullptr, 0);
        LOG got = QvPass_Log();
        got.erase(std::remove_if(got.begin(), got.end(),
                                 [](const std::string& s) { return !isdigit((unsigned char)s[0]); }),
                  got.end());
        if (c.flag == QIWF_FASTLEFT)
            EXPECT_EQ(got.size(), 102u) << "the press, then one a pass";
        else
            EXPECT_EQ(got, c.expect) << c.rule;
    }
}

TEST_F(Desktop, StoppedDesktopReturnsAtOnceAndQuitEndsNestedLoops)
{
    QIDesktop d("Test", nullptr, QIImage(), "wdemo\\");
    Build(&d);
    d.dflags &= ~QID_RUNNING;
    d.loopResult = 7;
    const int flips = PlatHeadless_Flips();
    EXPECT_EQ(d.EventLoop(nullptr, 0), 7);
    EXPECT_EQ(PlatHeadless_Flips(), flips) << "not a single pass";

    d.dflags |= QID_RUNNING;
    QvPassScript script(50);
    script.stopWhenDone = false;
    int nested = 0;
    script.onPass = [&](int pass) {
        if (pass == 3 && !nested) {
            nested = 1; // a popup's loop inside the page's
            d.EventLoop(nullptr, 0);
            nested = 2;
        }
    };
    QvPass quit;
    quit.quit = true;
    script.Wait(1, 5).Add(quit);
    d.Run();
    EXPECT_EQ(nested, 2);
    EXPECT_FALSE(script.overran) << "a closed window must end every loop";
    EXPECT_EQ(g_QuitRequested, 1);
}

TEST_F(Desktop, DeletingAWidgetDropsFocusCaptureAndHit)
{
    QIDesktop d("Test", nullptr, QIImage(), "wdemo\\");
    Build(&d);
    QIWidget* inner = new Rec("inner", IRect(0, 0, 10, 10));
    QIWidget::AddChild(w[0], inner);
    d.SetFocus(inner);
    d.SetCapture(inner, true);
    d.hitWidget = inner;
    QvPass_Log().clear();
    const uint32_t count = d.count;
    d.DeleteWidget(w[0]);
    EXPECT_EQ(QvPass_Log(), (LOG{"inner 2", "inner 16"}));
    EXPECT_TRUE(!d.focusWidget && !d.captureWidget && !d.hitWidget);
    EXPECT_TRUE(d.dflags & QID_REHITPENDING);
    EXPECT_EQ(d.count, count - 2);
    EXPECT_EQ(page->FirstChild(), w[1]);

    Rec loose("loose", IRect(0, 0, 1, 1));
    EXPECT_EQ(d.DeleteSubtree(&loose), 0) << "not in any chain: left alone";
    EXPECT_EQ(d.DeleteSubtree(nullptr), 0);
    EXPECT_EQ(d.FindByName("D"), w[3]);
    EXPECT_EQ(d.FindByName("PAGE"), page);
    EXPECT_EQ(d.FindByName("a"), nullptr);

    // Paths hold nine widgets: a tenth level is refused, not overrun.
    QIWidget* deep = w[1];
    for (int level = 3; level <= 10; level++) { // page 1, w[1] 2
        QIWidget* next = new Rec("deep", IRect(0, 0, 1, 1));
        QIWidget::AddChild(deep, next);
        deep = next;
        if (level == 9) {
            d.SetFocus(deep);
            EXPECT_EQ(d.focusPath.depth, 9);
        }
    }
    QV_EXPECT_FATAL(d.SetFocus(deep), "ASSERT (depth <= QIPATH_SIZE - 1)");
    QV_EXPECT_FATAL(d.SetCapture(deep, true), "ASSERT (depth <= QIPATH_SIZE - 1)");
}

TEST_F(Desktop, DumpTreeAndTipsGoToTheLog)
{
    QvLogCapture log(TLOG_DIAG);
    QvTempDir dir;
    dir.write("mlstring.cfg", "w.str\n");
    dir.write("w.str", "#define bTip \"Bee\"\n");
    ASSERT_EQ(MLString_Load(dir.file("mlstring.cfg").c_str()), 1);
    QIDesktop d("Test", nullptr, QIImage(), "wdemo\\");
    Build(&d);
    w[3]->flags &= ~QIWF_SHOWN;
    d.DumpTree(nullptr, 0);
    d.ExportDefines(nullptr);
    MLString_Unload();
    EXPECT_EQ(std::string(w[1]->tip.c_str()), "Bee");
    EXPECT_TRUE(w[0]->tip.empty());
    const std::string text = log.text();
    for (const char* line : {"Desktop Tree:", "\xC0\xC4 page                           V",
                             "   \xC3\xC4 a                           V",
                             "   \xC0\xC4 d                            ", "#define aTip \"\"",
                             "#define pageTip \"\""}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    }
    EXPECT_EQ(text.find("#define bTip"), std::string::npos);
}
