#include "widgets/qimenu.h"

#include "widgets/qidesktop.h"

QIGroup::QIGroup(const char* name, QIHANDLER fn, const IRect& rect) : QIWidget(name, fn)
{
    IRect::operator=(rect);
}

QIContainer::QIContainer(const char* name, QIHANDLER fn) : QIWidget(name, fn)
{
    flags = (flags | QIWF_HITTEST) & ~QIWF_HASTIP;
}

QIMenu::QIMenu(const char* name, QIHANDLER fn, int32_t* index) : QIWidget(name, fn), indexTarget(index)
{
    flags &= ~QIWF_HASTIP;
}

int QIMenu::HandleInput(QIWidget** path, int kind, QIARG pointer)
{
    QIWidget* child = *path;
    if (!child) return 0;
    int result = child->HandleInput(path - 1, kind, pointer);
    // The child may have been deleted by its handler; only a child still
    // linked under the menu is taken.
    for (QIWidget* c = FirstChild(); c; c = c->Next()) {
        if (c != child) continue;
        if ((child->flags & QIWF_DOWN) && child != current) {
            if (current) current->HandleMessage(QIMM_DESELECT, (void*)pointer, 0);
            current = child;
            UpdateIndex();
            Notify(QIN_CHANGED, pointer);
        }
        break;
    }
    return result;
}

void QIMenu::SetCurrent(QIWidget* child)
{
    QIPointer zero;
    if (current) current->HandleMessage(QIMM_DESELECT, &zero, 0);
    current = child;
    if (current) current->HandleMessage(QIMM_SELECT, &zero, 0);
    UpdateIndex();
}

void QIMenu::UpdateIndex(void)
{
    if (!indexTarget) return;
    int32_t i = 0;
    for (QIWidget* c = FirstChild(); c; c = c->Next(), i++)
        if (current && c == current) {
            *indexTarget = i;
            return;
        }
    *indexTarget = -1;
}

void QIMenu::SyncFromIndex(void)
{
    const int32_t index = indexTarget ? *indexTarget : -1;
    QIPointer zero;
    if (current) current->HandleMessage(QIMM_DESELECT, &zero, 0);
    current = nullptr;
    if (index >= 0) {
        int32_t i = 0;
        for (QIWidget* c = FirstChild(); c; c = c->Next(), i++)
            if (i == index) {
                current = c;
                c->HandleMessage(QIMM_SELECTQUIET, &zero, 0);
                break;
            }
    }
    if (!IsHidden()) Draw(nullptr);
}
