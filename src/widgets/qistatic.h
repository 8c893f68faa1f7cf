// Widgets that show text and pictures without taking input: the static
// text or picture, the caption frame and the callback text (a live
// read-out refilled at every draw). None is hit-testable or carries a tip.
// Their titles are texts by id: the name followed by "StaticTitle".
#pragma once

#include <cstdint>

#include "widgets/qiimage.h"
#include "widgets/qistring.h"
#include "widgets/qitext.h"
#include "widgets/qiwidget.h"

enum QIJUSTIFY { QIJ_LEFT = 0, QIJ_CENTRE = 1, QIJ_RIGHT = 2 };
enum QISTATIC_STYLE : uint32_t { QISS_FILL = 0x1 };

class QIStatic : public QIWidget {
public:
    QIString text;
    const QIFont* font = nullptr;
    QIImage image;
    uint32_t style = 0;       // QISTATIC_STYLE
    int32_t justification = QIJ_LEFT;

    QIStatic(const char* name, QIHANDLER fn, const IRect& rect, const char* t, const QIFont* f,
             int32_t just);
    QIStatic(const char* name, QIHANDLER fn, const IRect& rect, const QIImage& picture);
    QIStatic(const char* name, QIHANDLER fn, const IRect& rect, const QIImage& picture,
             const char* t, const QIFont* f, int32_t just);

    // While shown: the image when usable, the fill (style), the text (left
    // at the top, centred both ways, or right at the top; not clipped to
    // the box), then the children.
    void Draw(const IRect* clip) override;
    // Binds the image.
    void Update(void) override;
    void ExportDefines(void) override;
    // Copy in, and draw again unless hidden.
    virtual void SetImage(const QIImage& picture);
    virtual void SetText(const char* t);
};

class QICaptionFrame : public QIWidget {
public:
    QIString caption;
    const QIFont* font;
    int32_t justification;

    QICaptionFrame(const char* name, QIHANDLER fn, const IRect& rect, const char* t,
                   const QIFont* f, int32_t just);
    // A sunken and a raised bevel from half the font height down, the
    // caption on a face-coloured band across the top edge, the children.
    void Draw(const IRect* clip) override;
    void ExportDefines(void) override;
};

typedef void (*QITEXTFN)(QIString* text);

class QICallbackText : public QIWidget {
public:
    const QIFont* font;
    QIString text;
    QITEXTFN callback;
    int32_t justification;

    QICallbackText(const char* name, QIHANDLER fn, const IRect& rect, QITEXTFN cb, const QIFont* f,
                   int32_t just);
    // Fills its box, has the callback refill the text (once a draw) and
    // draws it, then the children.
    void Draw(const IRect* clip) override;
    // A child's QIN_CHANGED draws it again (unless hidden).
    int OnChildNotify(QIWidget* child, int p1, QIARG p2) override;
};
