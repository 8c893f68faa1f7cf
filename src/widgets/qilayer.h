// Layers (pages) and modal popups.
//
// A layer is a hit-testable page with a background picture or a drawn
// frame; clicks on its empty parts stop there. A popup is a layer centred
// on the screen with a title and up to five buttons along its bottom edge;
// it grabs every click while shown. The caller attaches it, shows it with
// the desktop's Refresh, runs EventLoop(popup, 0), which returns the code
// of the button clicked (slots 0..4: 23, 24, 27, 28, 29), and removes it
// with ClosePopup.
//
// Names used elsewhere: QILayer::Add is QIPopup::AddButton; QILayerFramed
// and QIPopupFramed are the constructors with an image.
#pragma once

#include <cstdint>

#include "widgets/qiimage.h"
#include "widgets/qimenu.h"
#include "widgets/qistring.h"

struct QIFont;

enum QILAYER_STYLE : uint32_t {
    QILS_FRAME = 0x1,       // drawn when there is no background image
    QILS_FILLFRAMED = 0x2,
    QILS_FILLORFRAME = 0x4,
};

enum { QIPOPUP_SLOTS = 5, QIPOPUP_CENTREX = 320, QIPOPUP_CENTREY = 220, QIPOPUP_BORDER = 12 };

// The loop results of the popup's button slots.
extern const int32_t g_QIPopupCodes[QIPOPUP_SLOTS];

class QILayer : public QIContainer {
public:
    uint32_t frameStyle;
    QIImage background;

    // A plain frame; extra is not used.
    QILayer(const char* name, QIHANDLER fn, const IRect& rect, int32_t extra);
    // On a background picture, no frame.
    QILayer(const char* name, QIHANDLER fn, const IRect& rect, const QIImage& image);

    // While shown: the picture, else the frame its style asks for, then
    // the children.
    void Draw(const IRect* clip) override;
    void Update(void) override { background.Resolve(); }

protected:
    void DrawBackground(const IRect* clip);
};

class QIPopup : public QILayer {
public:
    const QIFont* titleFont = nullptr;
    QIString title;
    IPoint unused{0, 0};
    IPoint nextCorner; // bottom-right corner of the next unplaced button
    QIWidget* slots[QIPOPUP_SLOTS] = {};

    // size.x by size.y, centred; a framed fill with a title band.
    QIPopup(const char* name, QIHANDLER fn, const IPoint& size, const QIFont* font, const char* t);
    // On a picture, centred, no title.
    QIPopup(const char* name, QIHANDLER fn, const IPoint& size, const QIImage& image);

    // A button at (0, 0) goes right to left along the bottom edge; it is
    // attached, told to the popup and kept in slot (0..4, asserted).
    void AddButton(QIWidget* button, int slot);
    // A click (18) of a slot's button ends the popup's loop with its code.
    int OnChildNotify(QIWidget* child, int code, QIARG pointer) override;
    void Draw(const IRect* clip) override;
    // The title by id: name + "PopupTitle".
    void ExportDefines(void) override;
};
