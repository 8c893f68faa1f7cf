#include "support/passscript.h"

#include <cstring>

#include "core/config.h"
#include "core/gamestate.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "widgets/qidesktop.h"

static QvPassScript* s_script = nullptr;

QvPassScript::QvPassScript(int maxPasses) : max_(maxPasses)
{
    s_script = this;
    PlatHeadless_SetPumpHook(Hook);
}

QvPassScript::~QvPassScript()
{
    PlatHeadless_SetPumpHook(nullptr);
    s_script = nullptr;
    Plat_ClearQuit();
    g_QuitRequested = 0;
}

void QvPassScript::Push(Entry e)
{
    if (running_) script_.insert(script_.begin() + (long)insert_++, std::move(e));
    else script_.push_back(std::move(e));
}

QvPassScript& QvPassScript::Add(const QvPass& pass)
{
    Push(Entry{pass, nullptr, nullptr, nullptr, nullptr});
    return *this;
}

QvPassScript& QvPassScript::Wait(uint32_t ms, int count)
{
    for (int i = 0; i < count; i++) Add(QvTime(ms));
    return *this;
}

QvPassScript& QvPassScript::Until(std::function<bool()> done, uint32_t ms)
{
    Push(Entry{QvTime(ms), std::move(done), nullptr, nullptr, nullptr});
    return *this;
}

QvPassScript& QvPassScript::Then(std::function<void()> check)
{
    Push(Entry{QvPass{}, nullptr, std::move(check), nullptr, nullptr});
    return *this;
}

QvPassScript& QvPassScript::Click(int x, int y, int button, uint32_t ms)
{
    QvPass move = QvMove(x, y), down = QvButton(1, button), up = QvButton(0, button);
    move.advanceMs = down.advanceMs = up.advanceMs = ms;
    return Add(move).Add(down).Add(up);
}

QvPassScript& QvPassScript::ClickWhere(std::function<void(int* x, int* y)> where, int button)
{
    Push(Entry{QvMove(0, 0), nullptr, nullptr, std::move(where), nullptr});
    return Add(QvButton(1, button)).Add(QvButton(0, button));
}

QvPassScript& QvPassScript::Box(int x1, int y1, int x2, int y2, uint32_t ms)
{
    QvPass down = QvMove(x1, y1), mid = QvMove((x1 + x2) / 2, (y1 + y2) / 2), end = QvMove(x2, y2),
           up = QvButton(0);
    down.button = 0;
    down.down = 1;
    down.advanceMs = mid.advanceMs = end.advanceMs = up.advanceMs = ms;
    return Add(down).Add(mid).Add(end).Add(up);
}

// The keyboard's scan codes of the characters a file name takes.
static int ScanCode(char c)
{
    static const char* const rows[] = {"1234567890", "qwertyuiop", "asdfghjkl", "zxcvbnm"};
    static const int first[] = {2, 16, 30, 44};
    if (c == '.') return 52;
    const char lower = (char)(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    for (int r = 0; r < 4; r++)
        if (const char* at = strchr(rows[r], lower); at && lower) return first[r] + (int)(at - rows[r]);
    return 0;
}

QvPassScript& QvPassScript::Type(const std::string& text, uint32_t ms)
{
    for (char c : text) {
        QvPass key = QvKey(ScanCode(c));
        key.character = (unsigned char)c;
        key.advanceMs = ms;
        Add(key);
    }
    return *this;
}

QvPassScript& QvPassScript::Step(std::function<bool()> made)
{
    Push(Entry{QvPass{}, nullptr, nullptr, nullptr, std::move(made)});
    return *this;
}

QvPassScript& QvPassScript::Do(std::function<void()> call, int times)
{
    for (int i = 0; i < times; i++)
        Step([this, call = i == 0 ? call : [] {}] {
            for (int k = 0; k < pace.spare; k++) Add(QvPass{});
            call();
            return true;
        });
    return *this;
}

QvPassScript& QvPassScript::Input(std::function<std::vector<QvPass>()> make)
{
    return Step([this, make = std::move(make)] {
        for (const QvPass& p : make()) Add(p);
        return true;
    });
}

QvPassScript& QvPassScript::Pause(uint32_t ms, int count)
{
    return Step([this, ms, count] {
        Wait(ms, count);
        return true;
    });
}

QvPassScript& QvPassScript::Chord(int modifier, int scancode)
{
    return Step([this, modifier, scancode] {
        if (modifier) Add(QvKeyDown(modifier));
        Add(QvKey(scancode));
        if (modifier) Add(QvKeyUp(modifier));
        return true;
    });
}

QvPassScript& QvPassScript::TypeKey(int scancode, int character)
{
    return Do([this, scancode, character] { Add(QvKeyDown(scancode, character)).Add(QvKeyUp(scancode)); });
}

QvPassScript& QvPassScript::ClickOn(const std::string& name, int dx, int dy)
{
    return Step([this, name, dx, dy] {
        QIDesktopBase* d = desktop ? desktop() : dynamic_cast<QIDesktopBase*>(g_QIDesktop);
        QIWidget* w = d ? d->FindByName(name.c_str()) : nullptr;
        if (!w || w->IsHidden()) return false;
        for (const QvPass& p : ClickPasses(w->x + (dx < 0 ? w->w / 2 : dx), w->y + (dy < 0 ? w->h / 2 : dy))) Add(p);
        return true;
    });
}

QvPassScript& QvPassScript::Drag(int x, int y, int toX, int toY, int held)
{
    return Do([=, this] {
        for (const QvPass& p : DragPasses(x, y, toX, toY, held)) Add(p);
    });
}

std::vector<QvPass> QvPassScript::ClickPasses(int x, int y) const
{
    std::vector<QvPass> v = {QvMove(x, y)};
    if (pace.clickMs) v.push_back(QvTime(pace.clickMs));
    v.push_back(QvButton(1));
    for (int i = 0; i < pace.spare; i++) v.push_back(QvPass{});
    if (pace.clickMs) v.push_back(QvTime(pace.clickMs));
    v.push_back(QvButton(0));
    if (pace.clickMs) v.push_back(QvTime(pace.clickMs));
    return v;
}

std::vector<QvPass> QvPassScript::DragPasses(int x, int y, int toX, int toY, int held) const
{
    std::vector<QvPass> v;
    if (held) v.push_back(QvKeyDown(held));
    v.push_back(QvMove(x, y));
    v.push_back(QvTime(pace.clickMs));
    v.push_back(QvButton(1));
    for (int i = 1; i <= 4; i++) {
        QvPass m = QvMove(x + (toX - x) * i / 4, y + (toY - y) * i / 4);
        m.advanceMs = pace.dragMs;
        v.push_back(m);
    }
    v.push_back(QvButton(0));
    if (pace.clickMs) v.push_back(QvTime(pace.clickMs));
    if (held) v.push_back(QvKeyUp(held));
    return v;
}

bool QvPassScript::done(void) const
{
    for (size_t i = at_; i < script_.size(); i++)
        if (!Plain(i)) return false;
    return running_ == 0;
}

bool QvPassScript::Plain(size_t at) const
{
    const Entry& e = script_[at];
    return !e.until && !e.check && !e.made;
}

void QvPassScript::Hook(void)
{
    if (s_script) s_script->Next();
}

// A step made when it runs, out of the script: what it queues goes where it
// stood, then the gap, then the step again when it was not ready.
void QvPassScript::Run(size_t at)
{
    Entry step = std::move(script_[at]);
    script_.erase(script_.begin() + (long)at);
    const size_t outer = insert_;
    insert_ = at;
    running_++;
    const bool ran = step.made();
    running_--;
    script_.insert(script_.begin() + (long)insert_++, Entry{pace.gap, nullptr, nullptr, nullptr, nullptr});
    if (ran) stepsRun++;
    else script_.insert(script_.begin() + (long)insert_, std::move(step));
    insert_ = outer;
}

void QvPassScript::Play(const Entry& e)
{
    QvPass p = e.pass;
    if (e.where) e.where(&p.moveX, &p.moveY);
    if (p.advanceMs) PlatHeadless_Advance(p.advanceMs);
    if (p.moveX >= 0) Input_RawMouseMove(p.moveX, p.moveY);
    if (p.button >= 0) Input_RawMouseButton(p.button, p.down);
    if (p.wheel) Input_RawWheel(p.wheel);
    if (p.scancode && p.keyHeld != 0) Input_RawKey(p.scancode, 1, p.character);
    if (p.scancode && p.keyHeld != 1) Input_RawKey(p.scancode, 0, 0);
    if (p.quit) Plat_PostQuit();
}

void QvPassScript::RunDry(void)
{
    auto* desktop = dynamic_cast<QIDesktopBase*>(g_QIDesktop);
    if (stopWhenDone && desktop) desktop->dflags &= ~(QID_RUNNING | QID_LOOPCONTINUES);
    // The game goes back to the front end as a game that ended does.
    if (stopWhenDone && g_GameState == GS_INGAME) g_GameState = GS_FRONTEND;
}

void QvPassScript::Next(void)
{
    // The flip pumps too: one step a presented frame.
    const int flips = PlatHeadless_Flips();
    if (flips == lastFlips_) return;
    lastFlips_ = flips;
    if (onPass) onPass(passes);
    if (passes >= max_) {
        overran = true;
        if (onOverrun) onOverrun();
        Plat_PostQuit();
        return;
    }
    passes++;
    if (running_) {
        // A flip inside a running step (a load's stages): only the passes
        // queued before it.
        if (at_ < insert_ && Plain(at_)) Play(script_[at_++]);
        else RunDry();
        return;
    }
    bool ranAhead = false;
    for (;;) {
        if (at_ >= script_.size()) return RunDry();
        Entry& e = script_[at_];
        if (e.check) {
            const std::function<void()> check = e.check;
            at_++;
            check();
            continue;
        }
        if (e.made) {
            // Nothing queued before it to play along.
            Run(at_);
            continue;
        }
        if (e.until) {
            const Entry repeated = e;
            if (repeated.until()) {
                at_++;
                continue;
            }
            return Play(repeated);
        }
        // The next step made when it runs goes while this last pass before it plays.
        if (!ranAhead && at_ + 1 < script_.size() && script_[at_ + 1].made) {
            ranAhead = true;
            Run(at_ + 1);
            continue;
        }
        const Entry played = script_[at_++];
        return Play(played);
    }
}

std::vector<std::string>& QvPass_Log(void)
{
    static std::vector<std::string> log;
    return log;
}

int QvPass_Record(QIWidget* widget, int code, QIARG)
{
    QvPass_Log().push_back(std::string(widget->name.c_str()) + " " + std::to_string(code));
    return 0;
}

QvPass QvMove(int x, int y)
{
    QvPass p;
    p.moveX = x;
    p.moveY = y;
    return p;
}

QvPass QvButton(int down, int button)
{
    QvPass p;
    p.button = button;
    p.down = down;
    return p;
}

QvPass QvKey(int scancode)
{
    QvPass p;
    p.scancode = scancode;
    return p;
}

QvPass QvKeyDown(int scancode, int character)
{
    QvPass p;
    p.scancode = scancode;
    p.character = character;
    p.keyHeld = 1;
    return p;
}

QvPass QvKeyUp(int scancode)
{
    QvPass p;
    p.scancode = scancode;
    p.keyHeld = 0;
    return p;
}

QvPass QvTime(uint32_t ms)
{
    QvPass p;
    p.advanceMs = ms;
    return p;
}

QvPass QvWheel(int delta)
{
    QvPass p;
    p.wheel = delta;
    return p;
}

QvHeadlessScreen::QvHeadlessScreen()
{
    Plat_InitWith(&g_PlatHeadless);
    PlatHeadless_SetClock(0, 0);
    Cfg_SetDefaults(&g_Config);
    Video_Init();
    Input_Init();
    QvPass_Log().clear();
}

QvHeadlessScreen::~QvHeadlessScreen()
{
    Input_Close();
    Video_Close();
    Plat_Close();
    g_QIDefaultFlags = 0;
}
