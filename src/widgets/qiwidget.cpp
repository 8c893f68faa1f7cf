#include "widgets/qiwidget.h"

#include "core/debug.h"
#include "widgets/qiproptree.h"

uint32_t g_QIDefaultFlags = 0;
QITreeRoot* g_QIDesktop = nullptr;

QIWidget::QIWidget(const char* widgetName, QIHANDLER fn)
    : IRect(0, 0, 0, 0), flags(g_QIDefaultFlags), handler(fn), name(widgetName ? widgetName : "")
{
}

QIWidget::QIWidget() : QIWidget(nullptr, nullptr) {}

// Whether a widget is linked anywhere: it has a parent or a next sibling, or
// it is one of the top-level widgets.
static bool Attached(const QIWidget* w)
{
    if (w->parent || w->next) return true;
    for (const QIWidget* t = g_QIDesktop->first; t; t = t->Next())
        if (t == w) return true;
    return false;
}

void QIWidget::AddChild(QIWidget* parent, QIWidget* child)
{
    ASSERT(g_QIDesktop);
    ASSERT(child && !Attached(child));
    child->parent = parent;
    if (parent) {
        LTreeNode** at = &parent->firstChild;
        while (*at) at = &(*at)->next;
        *at = child;
    } else {
        child->next = g_QIDesktop->first;
        g_QIDesktop->first = child;
    }
    g_QIDesktop->count++;
}

bool QIWidget::IsHidden(const QIWidget* w)
{
    if (!w) return false;
    for (; w; w = w->Parent())
        if (!(w->flags & QIWF_SHOWN)) return true;
    return false;
}

void QIWidget::MarkTree(void)
{
    // Depth first over the subtree without recursion.
    QIWidget* w = this;
    for (;;) {
        w->flags |= QIWF_MARK;
        if (w->firstChild) {
            w = w->FirstChild();
            continue;
        }
        while (w != this && !w->next) w = w->Parent();
        if (w == this) return;
        w = w->Next();
    }
}

int QIWidget::Notify(int p1, QIARG p2)
{
    int result = 0;
    if (handler) result = handler(this, p1, p2);
    if (listener) result = listener->OnChildNotify(this, p1, p2);
    return result;
}

int QIWidget::HandleInput(QIWidget** path, int p1, QIARG p2)
{
    if (!*path) return Notify(p1, p2);
    return (*path)->HandleInput(path - 1, p1, p2);
}

void QIWidget::HandleMessage(int, void*, int) {}

int QIWidget::OnChildNotify(QIWidget*, int, QIARG) { return 0; }

void QIWidget::Draw(const IRect* clip)
{
    if (!(flags & QIWF_SHOWN)) return;
    for (QIWidget* c = FirstChild(); c; c = c->Next()) c->Draw(clip);
}

void QIWidget::FilterChar(QIWidget** path, QIKey* key)
{
    if (*path) (*path)->FilterChar(path - 1, key);
}

QIWidget* QIWidget::HitTest(const IPoint& point)
{
    for (QIWidget* c = FirstChild(); c; c = c->Next())
        if ((c->flags & QIWF_HITTEST) && c->Contains(point.x, point.y)) return c->HitTest(point);
    return this;
}

// The stored flags in their order in a widget's section.
static const struct {
    const char* key;
    uint32_t bit;
} kStoredFlags[] = {
    {"Disabled", QIWF_DISABLED},     {"RepeatLeft", QIWF_REPEATLEFT},
    {"RepeatRight", QIWF_REPEATRIGHT}, {"FastLeft", QIWF_FASTLEFT},
    {"FastRight", QIWF_FASTRIGHT},   {"MoveUpdate", QIWF_MOVEUPDATE},
    {"IdleUpdate", QIWF_IDLEUPDATE}, {"Update", QIWF_UPDATE},
    {"Sticky", QIWF_STICKY},
};

int QIWidget::Load(QIPropTree* tree, const char* section)
{
    tree->Enter(section ? section : name.c_str());
    IRect::Load(tree, "Rect");
    tree->Leave();
    for (const auto& f : kStoredFlags) {
        int32_t v = (flags & f.bit) ? 1 : 0;
        tree->GetInt(f.key, v);
        flags = (v & 1) ? (flags | f.bit) : (flags & ~f.bit);
    }
    return 1;
}

int QIWidget::Save(QIPropTree* tree, const char* section)
{
    tree->Enter(section ? section : name.c_str());
    IRect::Save(tree, "Rect");
    tree->Leave();
    for (const auto& f : kStoredFlags) tree->SetInt(f.key, (flags & f.bit) ? 1 : 0);
    return 1;
}

QITreeRoot::QITreeRoot() { g_QIDesktop = this; }

QITreeRoot::~QITreeRoot()
{
    while (first) DeleteSubtree(first);
    if (g_QIDesktop == this) g_QIDesktop = nullptr;
}

int QITreeRoot::DeleteSubtree(QIWidget* w)
{
    if (!w) return 0;
    // Unlink first; a widget that isn't where its links say is left alone
    // (it may not be ours to delete).
    if (w->parent) {
        LTreeNode** at = &w->parent->firstChild;
        while (*at && *at != w) at = &(*at)->next;
        if (!*at) return 0;
        *at = w->next;
    } else if (first == w) {
        first = w->Next();
    } else {
        QIWidget* before = first;
        while (before && before->next != w) before = before->Next();
        if (!before) return 0;
        before->next = w->next;
    }
    w->next = nullptr;
    QIWidget* n = w;
    for (;;) {
        while (n->firstChild) n = n->FirstChild();
        QIWidget* up = n->Parent();
        QIWidget* after = n->Next();
        const bool last = n == w;
        if (!last && up) up->firstChild = after;
        delete n;
        if (count) count--;
        if (last) return 1;
        n = after ? after : up;
    }
}
