#include "widgets/qibutton.h"

#include <cstdio>
#include <string>

#include "core/debug.h"
#include "core/mlstring.h"
#include "platform/input.h"
#include "widgets/qidesktop.h"
#include "widgets/qidraw.h"
#include "widgets/qiproptree.h"

IPoint g_QIButtonOffset;

static const char* const kImageKeys[QIBI_COUNT] = {"BitmapNormal", "BitmapNormal&Focus",
                                                   "BitmapActive", "BitmapActive&Focus"};

static const QIPointer* PointerOf(QIARG arg) { return reinterpret_cast<const QIPointer*>(arg); }

static bool ButtonHeld(QIARG arg)
{
    const QIPointer* p = PointerOf(arg);
    return p && (p->buttons & (MOUSE_BUTTON_LEFT | MOUSE_BUTTON_RIGHT));
}

static bool Inside(const IRect& r, QIARG arg)
{
    const QIPointer* p = PointerOf(arg);
    return p && r.Contains(p->x, p->y);
}

// The text of key into title when the strings have it; the define line to
// paste into a string script when they don't.
static void LookUpTitle(const QIString& name, const char* suffix, QIString* title)
{
    if (title->empty()) return;
    const std::string key = std::string(name.c_str()) + suffix;
    char buffer[256];
    MLString_GetOrDefine(key.c_str(), title->c_str(), buffer, sizeof buffer);
    title->Set(buffer);
}

// ---------------------------------------------------------------- QIButton

QIButton::QIButton(const char* name, QIHANDLER fn, const IRect& rect, const char* t,
                   const QIFont* normal, const QIFont* focus, const QIFont* activeF)
    : QIWidget(name, fn), title(t), normalFont(normal), focusFont(focus),
      activeFont(activeF ? activeF : focus), pressOffset(g_QIButtonOffset)
{
    Assign(rect);
}

QIButton::QIButton(const char* name, QIHANDLER fn, const IRect& rect, const QIImage& normal,
                   const QIImage& normalFocus, const QIImage& activeImage,
                   const QIImage& activeFocus, const char* t, const QIFont* normalF,
                   const QIFont* focusF, const QIFont* activeF)
    : QIButton(name, fn, rect, t, normalF, focusF, activeF)
{
    images[QIBI_NORMAL] = normal;
    images[QIBI_NORMALFOCUS] = normalFocus;
    images[QIBI_ACTIVE] = activeImage;
    images[QIBI_ACTIVEFOCUS] = activeFocus;
}

QIButton::QIButton(const char* name, QIHANDLER fn)
    : QIWidget(name, fn), pressOffset(g_QIButtonOffset)
{
}

void QIButton::Press(int notify, QIARG pointer)
{
    pressed = active = 1;
    flags |= QIWF_DOWN;
    if (!IsHidden()) Draw(nullptr);
    if (notify) Notify(QIN_PRESSED, pointer);
}

void QIButton::Release(int notify, QIARG pointer)
{
    pressed = active = 0;
    flags &= ~QIWF_DOWN;
    if (!IsHidden()) Draw(nullptr);
    if (notify) Notify(QIN_CLICKED, pointer);
}

// Each rule draws before it notifies, and touches nothing after: a handler
// may delete the button's page.
int QIButton::HandleInput(QIWidget** path, int kind, QIARG pointer)
{
    if (*path) return (*path)->HandleInput(path - 1, kind, pointer);
    const bool latching = style & QIBS_LATCHING;
    const bool onRelease = latching && (style & QIBS_TOGGLEONRELEASE);
    const bool down = kind == QIE_LEFTDOWN || kind == QIE_RIGHTDOWN;
    const bool up = kind == QIE_LEFTUP || kind == QIE_RIGHTUP;
    if ((flags & QIWF_DISABLED) && (down || up || kind == QIE_MOVE)) return 0;

    if (kind == QIE_FOCUS) {
        if (flags & QIWF_FOCUS) return 0;
        flags |= QIWF_FOCUS;
        if (ButtonHeld(pointer)) {
            flags |= QIWF_DOWN;
            pressed = active = 1;
            Draw(nullptr);
            return Notify(QIN_PRESSED, pointer);
        }
        Draw(nullptr);
    } else if (kind == QIE_UNFOCUS) {
        if (!(flags & QIWF_FOCUS)) return 0;
        if (!latching && pressed) {
            pressed = active = 0;
            flags &= ~QIWF_DOWN;
        }
        flags &= ~QIWF_FOCUS;
        Draw(nullptr);
    } else if (down) {
        flags |= QIWF_FOCUS;
        if (!latching) {
            flags |= QIWF_DOWN;
            if (!pressed) {
                pressed = active = 1;
                Draw(nullptr);
            }
            return Notify(QIN_PRESSED, pointer);
        }
        if (!pressed) {
            flags |= QIWF_DOWN;
            if (!onRelease) pressed = 1;
            active = 1;
            Draw(nullptr);
            if (!onRelease) return Notify(QIN_PRESSED, pointer);
        } else if (style & QIBS_SECONDPRESSRELEASES) {
            flags &= ~QIWF_DOWN;
            if (!onRelease) pressed = 0;
            active = 0;
            Draw(nullptr);
            if (!onRelease) return Notify(QIN_CLICKED, pointer);
        }
    } else if (up) {
        if (!latching) {
            if (!pressed) return 0;
            flags &= ~QIWF_DOWN;
            pressed = active = 0;
            Draw(nullptr);
            return Notify(QIN_CLICKED, pointer);
        }
        if (onRelease && Inside(*this, pointer)) {
            const bool press = !pressed;
            pressed = active = press ? 1 : 0;
            flags = press ? (flags | QIWF_DOWN) : (flags & ~QIWF_DOWN);
            Draw(nullptr);
            return Notify(press ? QIN_PRESSED : QIN_CLICKED, pointer);
        }
        active = pressed;
    } else if (kind == QIE_MOVE && onRelease && ButtonHeld(pointer)) {
        // The flip is previewed while the pointer is inside.
        if (Inside(*this, pointer)) {
            if (active == pressed) {
                active = !pressed;
                Draw(nullptr);
            }
        } else if (active != pressed) {
            active = pressed;
            Draw(nullptr);
        }
    }
    return 0;
}

void QIButton::HandleMessage(int message, void* record, int)
{
    const QIARG pointer = (QIARG)record;
    if (message == QIBM_RELEASE && pressed)
        Release(1, pointer);
    else if ((message == QIBM_PRESS || message == QIBM_PRESSQUIET) && !pressed)
        Press(message == QIBM_PRESS, pointer);
}

void QIButton::DrawButton(const IRect* clip)
{
    const bool focus = flags & QIWF_FOCUS;
    const QIImage* image;
    if (focus && active)
        image = &images[images[QIBI_ACTIVEFOCUS].Usable() ? QIBI_ACTIVEFOCUS : QIBI_ACTIVE];
    else if (focus)
        image = &images[images[QIBI_NORMALFOCUS].Usable() ? QIBI_NORMALFOCUS : QIBI_NORMAL];
    else
        image = &images[active ? QIBI_ACTIVE : QIBI_NORMAL];
    if (w && h) {
        if (image->Usable())
            QI_DrawBitmapClipped(image, x, y, clip);
        else
            QI_FillFramed(x, y, x + w, y + h, pressed, focus);
    }
    if (title.empty()) return;
    const QIFont* font = ((flags & QIWF_DOWN) || active) ? activeFont : focus ? focusFont : normalFont;
    int tx = x + (w + 1) / 2 - QI_TextWidth(font, title.c_str()) / 2;
    int ty = y + h / 2 - QI_FontHeight(font) / 2;
    if (pressed) {
        tx += pressOffset.x;
        ty += pressOffset.y;
    }
    QI_DrawText(font, tx, ty, clip, title.c_str());
}

void QIButton::Draw(const IRect* clip)
{
    if (!(flags & QIWF_SHOWN)) return;
    QIDrawClip within(clip);
    DrawButton(clip);
    QIWidget::Draw(clip);
}

void QIButton::Update(void)
{
    for (QIImage& image : images) image.Resolve();
}

void QIButton::ExportDefines(void) { LookUpTitle(name, "ButtonTitle", &title); }

int QIButton::Load(QIPropTree* tree, const char* section)
{
    QIWidget::Load(tree, section);
    for (int i = 0; i < QIBI_COUNT; i++) {
        images[i].Load(tree, kImageKeys[i]);
        tree->Leave();
    }
    return 1;
}

int QIButton::Save(QIPropTree* tree, const char* section)
{
    QIWidget::Save(tree, section);
    for (int i = 0; i < QIBI_COUNT; i++) {
        images[i].Save(tree, kImageKeys[i]);
        tree->Leave();
    }
    return 1;
}

// ---------------------------------------------------------------- value kinds

QIValueButton::QIValueButton(const char* name, QIHANDLER fn, const IRect& rect,
                             const QIImage& normal, const QIImage& normalFocus,
                             const QIImage& activeImage, const QIImage& activeFocus,
                             int32_t* valuePtr, int32_t stepBy, int32_t limitAt)
    : QIButton(name, fn, rect, normal, normalFocus, activeImage, activeFocus, nullptr, nullptr,
               nullptr, nullptr),
      value(valuePtr), limit(limitAt), step(stepBy)
{
    ASSERT(valuePtr);
}

int QIValueButton::Notify(int kind, QIARG pointer)
{
    if (kind != QIN_PRESSED) return 0;
    int64_t next = (int64_t)*value + step;
    if (step >= 1 ? next > limit : next < limit) next = limit;
    if (next == *value) return 0;
    *value = (int32_t)next;
    int result = 0;
    if (listener) result = listener->OnChildNotify(this, QIN_CHANGED, pointer);
    if (handler) result = handler(this, QIN_CHANGED, pointer);
    return result;
}

const char* QIValueButton::ValueText(void)
{
    snprintf(text_, sizeof text_, "Val=%d", *value);
    return text_;
}

QIPressButton::QIPressButton(const char* name, QIHANDLER fn, const IRect& rect,
                             const QIImage& normal, const QIImage& normalFocus,
                             const QIImage& activeImage, const QIImage& activeFocus,
                             int32_t* valuePtr, int32_t pressedV, int32_t releasedV)
    : QIButton(name, fn, rect, normal, normalFocus, activeImage, activeFocus, nullptr, nullptr,
               nullptr, nullptr),
      value(valuePtr), pressedValue(pressedV), releasedValue(releasedV)
{
    ASSERT(valuePtr);
}

int QIPressButton::Notify(int kind, QIARG pointer)
{
    if (Inside(*this, pointer)) {
        if (kind == QIN_PRESSED) *value = pressedValue;
        if (kind == QIN_CLICKED) *value = releasedValue;
    }
    return handler ? handler(this, QIN_CHANGED, pointer) : 0;
}

const char* QIPressButton::ValueText(void)
{
    snprintf(text_, sizeof text_, "Val=%d", *value);
    return text_;
}

// The box's cells in "comsgbox.bmp".
static QIImage BoxCell(int x) { return QIImage("comsgbox.bmp", IRect(x, 0, 11, 18), 0); }

QICheckButton::QICheckButton(const char* name, QIHANDLER fn, const IRect& rect,
                             const IPoint& labelOffset, const QIImage& labelImage,
                             const QIImage& labelImageFocus, int32_t* valuePtr, int32_t onV,
                             int32_t offV)
    : QIButton(name, fn, rect, BoxCell(22), BoxCell(33), BoxCell(0), BoxCell(11), nullptr,
               nullptr, nullptr, nullptr),
      value(valuePtr), onValue(onV), offValue(offV), label(labelImage),
      labelFocus(labelImageFocus), labelAt(IPoint(rect.x, rect.y).Add(labelOffset))
{
    ASSERT(valuePtr);
    if (*value != offValue) {
        pressed = active = 1;
        flags |= QIWF_DOWN;
    }
}

int QICheckButton::Notify(int kind, QIARG pointer)
{
    if (kind == QIN_PRESSED) *value = onValue;
    if (kind == QIN_CLICKED) *value = offValue;
    return handler ? handler(this, QIN_CHANGED, pointer) : 0;
}

void QICheckButton::Draw(const IRect* clip)
{
    if (!(flags & QIWF_SHOWN)) return;
    QIDrawClip within(clip);
    DrawButton(clip);
    const QIImage& l = (flags & QIWF_FOCUS) ? labelFocus : label;
    if (l.Usable()) QI_DrawBitmapClippedAt(&l, labelAt, clip);
    QIWidget::Draw(clip);
}

void QICheckButton::Update(void)
{
    QIButton::Update();
    label.Resolve();
    labelFocus.Resolve();
}

const char* QICheckButton::ValueText(void) { return *value != offValue ? "Val=TRUE" : "Val=FALSE"; }

QIToggleButton::QIToggleButton(const char* name, QIHANDLER fn, const IRect& rect,
                               const char* first, const char* second, const QIFont* normalF,
                               const QIFont* focusF, const QIFont* activeF, int32_t* valuePtr,
                               int32_t firstV, int32_t secondV)
    : QIButton(name, fn, rect, second, normalF, focusF, activeF), value(valuePtr),
      firstValue(firstV), secondValue(secondV), firstTitle(first), secondTitle(second)
{
    ASSERT(valuePtr);
    *value = secondValue;
}

QIToggleButton::QIToggleButton(const char* name, QIHANDLER fn, const IRect& rect,
                               const char* first, const char* second, const QIFont* normalF,
                               const QIFont* focusF, const QIFont* activeF, const QIImage& normal,
                               const QIImage& normalFocus, const QIImage& activeImage,
                               const QIImage& activeFocus, int32_t* valuePtr, int32_t firstV,
                               int32_t secondV)
    : QIToggleButton(name, fn, rect, first, second, normalF, focusF, activeF, valuePtr, firstV,
                     secondV)
{
    images[QIBI_NORMAL] = normal;
    images[QIBI_NORMALFOCUS] = normalFocus;
    images[QIBI_ACTIVE] = activeImage;
    images[QIBI_ACTIVEFOCUS] = activeFocus;
}

int QIToggleButton::Notify(int kind, QIARG pointer)
{
    if (kind != QIN_CLICKED) return 0;
    *value = *value != secondValue ? secondValue : firstValue;
    if (!IsHidden()) Draw(nullptr);
    return handler ? handler(this, QIN_CHANGED, pointer) : 0;
}

void QIToggleButton::Draw(const IRect* clip)
{
    title = *value == firstValue ? firstTitle : secondTitle;
    QIButton::Draw(clip);
}

void QIToggleButton::ExportDefines(void)
{
    LookUpTitle(name, "ButtonOnTitle", &firstTitle);
    LookUpTitle(name, "ButtonOffTitle", &secondTitle);
}

void QIButton::SetImages(const QIImage& normal, const QIImage& normalFocus, const QIImage& activeImage,
                         const QIImage& activeFocus)
{
    images[QIBI_NORMAL] = normal;
    images[QIBI_NORMALFOCUS] = normalFocus;
    images[QIBI_ACTIVE] = activeImage;
    images[QIBI_ACTIVEFOCUS] = activeFocus;
}
