#include "widgets/qilayer.h"

#include <string>

#include "core/debug.h"
#include "core/mlstring.h"
#include "widgets/qidesktop.h"
#include "widgets/qidraw.h"
#include "widgets/qitext.h"

const int32_t g_QIPopupCodes[QIPOPUP_SLOTS] = {23, 24, 27, 28, 29};

QILayer::QILayer(const char* name, QIHANDLER fn, const IRect& rect, int32_t)
    : QIContainer(name, fn), frameStyle(QILS_FRAME)
{
    Assign(rect);
}

QILayer::QILayer(const char* name, QIHANDLER fn, const IRect& rect, const QIImage& image)
    : QIContainer(name, fn), frameStyle(0), background(image)
{
    Assign(rect);
    flags |= QIWF_HITTEST;
}

void QILayer::DrawBackground(const IRect* clip)
{
    if (background.Usable()) {
        QI_DrawBitmapClipped(&background, x, y, clip);
    } else if (frameStyle & QILS_FRAME) {
        if (frameStyle & QILS_FILLFRAMED)
            QI_FillFramed(x, y, x + w, y + h, 0, 0);
        else if (frameStyle & QILS_FILLORFRAME)
            QI_FillOrFrame(x, y, x + w, y + h, 1, 0);
        else
            QI_DrawFrame(x, y, x + w - 1, y + h - 1, 0, 1);
    } else {
        return;
    }
    // The children were painted over: a list that only redraws its changed
    // rows would otherwise leave the rest blank (a popup's file list showed
    // none of its names).
    for (QIWidget* c = FirstChild(); c; c = c->Next()) c->MarkTree();
}

void QILayer::Draw(const IRect* clip)
{
    if (!(flags & QIWF_SHOWN)) return;
    QIDrawClip within(clip);
    DrawBackground(clip);
    QIWidget::Draw(clip);
}

static IRect Centred(const IPoint& size)
{
    return IRect(QIPOPUP_CENTREX - size.x / 2, QIPOPUP_CENTREY - size.y / 2, size.x, size.y);
}

QIPopup::QIPopup(const char* name, QIHANDLER fn, const IPoint& size, const QIFont* font, const char* t)
    : QILayer(name, fn, Centred(size), 0), titleFont(font), title(t ? t : "")
{
    frameStyle = QILS_FRAME | QILS_FILLFRAMED;
    flags |= QIWF_CAPTURE;
    nextCorner = IPoint(x + w - QIPOPUP_BORDER, y + h - QIPOPUP_BORDER);
}

QIPopup::QIPopup(const char* name, QIHANDLER fn, const IPoint& size, const QIImage& image)
    : QILayer(name, fn, Centred(size), image), title("")
{
    flags |= QIWF_CAPTURE;
    nextCorner = IPoint(x + w - QIPOPUP_BORDER, y + h - QIPOPUP_BORDER);
}

void QIPopup::AddButton(QIWidget* button, int slot)
{
    ASSERT(slot >= 0 && slot < QIPOPUP_SLOTS);
    if (!button->x && !button->y) {
        button->x = nextCorner.x - button->w;
        button->y = nextCorner.y - button->h;
        nextCorner.x -= button->w;
    }
    button->listener = this;
    AddChild(this, button);
    slots[slot] = button;
}

int QIPopup::OnChildNotify(QIWidget* child, int code, QIARG)
{
    if (code != QIN_CLICKED || !child) return 0;
    for (int i = 0; i < QIPOPUP_SLOTS; i++) {
        if (slots[i] != child) continue;
        if (QIDesktopBase* d = dynamic_cast<QIDesktopBase*>(g_QIDesktop)) {
            d->loopResult = g_QIPopupCodes[i];
            d->dflags &= ~QID_LOOPCONTINUES;
        }
        break;
    }
    return 0;
}

void QIPopup::Draw(const IRect* clip)
{
    if (!(flags & QIWF_SHOWN)) return;
    QIDrawClip within(clip);
    DrawBackground(clip);
    // Title band and body frame go under the buttons.
    if (frameStyle & QILS_FILLFRAMED) {
        int band = 0;
        if (!title.empty()) {
            const int fh = QI_FontHeight(titleFont);
            band = fh + 8;
            QI_DrawFrame(x + 8, y + 8, x + w - 7, y + fh + 15, 0, 0);
            QI_DrawText(titleFont, x + w / 2 - QI_TextWidth(titleFont, title.c_str()) / 2, y + 12, nullptr,
                        title.c_str());
        }
        QI_DrawFrame(x + 8, y + 8 + band, x + w - 7, y + h - 7, 0, 0);
    }
    QIWidget::Draw(clip);
}

void QIPopup::ExportDefines(void)
{
    if (title.empty()) return;
    const std::string key = std::string(name.c_str()) + "PopupTitle";
    char buffer[256];
    MLString_GetOrDefine(key.c_str(), title.c_str(), buffer, sizeof buffer);
    title.Set(buffer);
}
