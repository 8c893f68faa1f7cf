// Buttons: every clickable control of the menus and the editor.
//
// A button draws one of four state pictures (or a framed fill without
// them) and a centred title, and turns the desktop's pointer events into
// notifications for its handler: 17 pressed, 18 clicked and, for the
// value-carrying kinds, 12 value changed. Push buttons act on 18, the
// others on 12. Leaving a push button with the mouse button held cancels
// the click; coming back presses it again.
//
// Latching buttons (style bit 0) don't simply follow the mouse button: they
// stay down after the release; with bit 1 a release inside flips them (the
// flip is previewed while dragging), with bit 2 a second press lets them go.
//
// The four-image constructors are the form page builders use (also called
// QIButtonBitmaps and QIToggleButtonBitmaps elsewhere).
#pragma once

#include <cstdint>

#include "widgets/qiimage.h"
#include "widgets/qistring.h"
#include "widgets/qitext.h"
#include "widgets/qiwidget.h"

enum QIBUTTON_STYLE : uint32_t {
    QIBS_LATCHING = 0x1,
    QIBS_TOGGLEONRELEASE = 0x2,
    QIBS_SECONDPRESSRELEASES = 0x4,
};

// HandleMessage's messages.
enum QIBUTTON_MESSAGE { QIBM_RELEASE = 1, QIBM_PRESS = 2, QIBM_PRESSQUIET = 4 };

// The four state images, in their order.
enum QIBUTTON_IMAGE { QIBI_NORMAL, QIBI_NORMALFOCUS, QIBI_ACTIVE, QIBI_ACTIVEFOCUS, QIBI_COUNT };

// Added to the title position of every pressed button; starts at (0, 0).
extern IPoint g_QIButtonOffset;

class QIButton : public QIWidget {
public:
    int32_t pressed = 0; // logically down (held or latched)
    int32_t active = 0;  // drawn down; differs from pressed while a flip is previewed
    uint32_t style = 0;  // QIBUTTON_STYLE
    QIImage images[QIBI_COUNT];
    QIString title;
    const QIFont* normalFont = nullptr;
    const QIFont* focusFont = nullptr;
    const QIFont* activeFont = nullptr;
    IPoint pressOffset;

    // A null activeFont is focusFont.
    QIButton(const char* name, QIHANDLER fn, const IRect& rect, const char* t,
             const QIFont* normal, const QIFont* focus, const QIFont* activeF);
    QIButton(const char* name, QIHANDLER fn, const IRect& rect, const QIImage& normal,
             const QIImage& normalFocus, const QIImage& activeImage, const QIImage& activeFocus,
             const char* t, const QIFont* normalF, const QIFont* focusF, const QIFont* activeF);
    QIButton(const char* name, QIHANDLER fn);

    // At the target: the press, release, move and focus rules; a disabled
    // button follows focus only. Elsewhere on the path: passes it on.
    int HandleInput(QIWidget** path, int kind, QIARG pointer) override;
    // QIBM_RELEASE, QIBM_PRESS, QIBM_PRESSQUIET; record is the pointer.
    void HandleMessage(int message, void* record, int extra) override;
    // While shown: the state image (or a framed fill), the title, children.
    void Draw(const IRect* clip) override;
    // Binds the four images.
    void Update(void) override;
    // Replaces the normal, focus, pressed and pressed-with-focus images
    // (bound at the next Update).
    void SetImages(const QIImage& normal, const QIImage& normalFocus, const QIImage& activeImage,
                   const QIImage& activeFocus);
    // The title by id: name + "ButtonTitle".
    void ExportDefines(void) override;
    // The widget, then each image in its own section. 1.
    int Load(QIPropTree* tree, const char* section) override;
    int Save(QIPropTree* tree, const char* section) override;

protected:
    // The button drawing shared by every kind.
    void DrawButton(const IRect* clip);
    void Press(int notify, QIARG pointer);
    void Release(int notify, QIARG pointer);
};

// Steps an integer by step on every 17 (so repeats step too), clamped to
// limit (not above it for a positive step, not below for others).
class QIValueButton : public QIButton {
public:
    int32_t* value;
    int32_t limit;
    int32_t step;

    QIValueButton(const char* name, QIHANDLER fn, const IRect& rect, const QIImage& normal,
                  const QIImage& normalFocus, const QIImage& activeImage,
                  const QIImage& activeFocus, int32_t* valuePtr, int32_t stepBy, int32_t limitAt);
    // A change: stored, the listener then the handler told 12. No change,
    // or another kind: nobody is told.
    int Notify(int kind, QIARG pointer) override;
    const char* ValueText(void) override;

private:
    char text_[24];
};

// Writes one integer while pressed inside, another on the release.
class QIPressButton : public QIButton {
public:
    int32_t* value;
    int32_t pressedValue;
    int32_t releasedValue;

    QIPressButton(const char* name, QIHANDLER fn, const IRect& rect, const QIImage& normal,
                  const QIImage& normalFocus, const QIImage& activeImage,
                  const QIImage& activeFocus, int32_t* valuePtr, int32_t pressedV,
                  int32_t releasedV);
    // Inside the rectangle: 17 stores the pressed value, 18 the released.
    // The handler gets 12 for every kind.
    int Notify(int kind, QIARG pointer) override;
    const char* ValueText(void) override;

private:
    char text_[24];
};

// A check box: 11 x 18 cells of "comsgbox.bmp" and a label picture.
class QICheckButton : public QIButton {
public:
    int32_t* value;
    int32_t onValue;
    int32_t offValue;
    QIImage label;
    QIImage labelFocus;
    IPoint labelAt;

    // Ticked at the start unless *valuePtr is offValue.
    QICheckButton(const char* name, QIHANDLER fn, const IRect& rect, const IPoint& labelOffset,
                  const QIImage& labelImage, const QIImage& labelImageFocus, int32_t* valuePtr,
                  int32_t onV, int32_t offV);
    // 17 stores the on value, 18 the off value; the handler gets 12.
    int Notify(int kind, QIARG pointer) override;
    void Draw(const IRect* clip) override;
    void Update(void) override;
    const char* ValueText(void) override;
};

// Flips an integer between two values at each click, showing the first
// title at the first value and the second otherwise.
class QIToggleButton : public QIButton {
public:
    int32_t* value;
    int32_t firstValue;
    int32_t secondValue;
    QIString firstTitle;
    QIString secondTitle;

    // Stores secondValue into the value.
    QIToggleButton(const char* name, QIHANDLER fn, const IRect& rect, const char* first,
                   const char* second, const QIFont* normalF, const QIFont* focusF,
                   const QIFont* activeF, int32_t* valuePtr, int32_t firstV, int32_t secondV);
    QIToggleButton(const char* name, QIHANDLER fn, const IRect& rect, const char* first,
                   const char* second, const QIFont* normalF, const QIFont* focusF,
                   const QIFont* activeF, const QIImage& normal, const QIImage& normalFocus,
                   const QIImage& activeImage, const QIImage& activeFocus, int32_t* valuePtr,
                   int32_t firstV, int32_t secondV);
    // 18 flips the value, draws, and tells the handler 12.
    int Notify(int kind, QIARG pointer) override;
    void Draw(const IRect* clip) override;
    // Both titles by id: name + "ButtonOnTitle" and name + "ButtonOffTitle".
    void ExportDefines(void) override;
};
