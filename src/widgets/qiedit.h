// Text entry: the edit base (keys, caret, committing) and the fields built
// on it.
//
// While a field is being edited its text lives in one working text shared
// by every field (only the field holding the keyboard capture edits);
// buffer and the bound string change only when the edit is committed
// (Enter, or the capture moving away), so Esc leaves them as they were.
// The working text grows to the largest maxLength in use; a text longer
// than maxLength is cut wherever it is copied in.
//
// Keys act on scan codes (both keypad and extended forms); with control,
// Backspace deletes to minCaret, Delete cuts to the end, Left and Right
// move by words. Notifications: 20 after each change of the working text,
// 19 after Enter's commit.
#pragma once

#include <cstdint>

#include "widgets/qistring.h"
#include "widgets/qiwidget.h"

// The characters a field accepts.
enum QIEDIT_CLASS : uint32_t {
    QIEC_LETTERS = 0x1,
    QIEC_DIGITS = 0x2,
    QIEC_SPACE = 0x4,
    QIEC_STOP = 0x8,
    QIEC_PUNCTUATION = 0x10,
    QIEC_HEX = 0x20, // 0-9 and A-F
    QIEC_BACKSLASH = 0x40,
    QIEC_COLON = 0x80,
    QIEC_MINUS = 0x100,
    QIEC_UPPER = 0x1000, // accepts nothing itself: lower case typed as upper
    QIEC_LOWER = 0x2000,
};

// QIEF_HINT: the text is a hint of what goes there, not an entry: the first
// key that edits it (typing, Backspace, Delete) empties the field first;
// until then it stays a hint however often the field is entered and left.
// Whoever sets the text sets or clears the flag.
enum QIEDIT_FLAGS : uint32_t { QIEF_OWNSBOUND = 0x1, QIEF_HINT = 0x2 };

class QIEditBase : public QIWidget {
public:
    uint32_t editFlags = 0;
    QIString* bound = nullptr;
    char* buffer;          // maxLength + 1 bytes
    uint32_t charClasses;
    int32_t maxLength;
    int32_t caret = 0;
    int32_t minCaret;

    // On the caller's buffer (maxLength + 1 bytes, not freed here).
    QIEditBase(const char* name, QIHANDLER fn, const IRect& rect, char* external, uint32_t classes,
               int32_t minimumCaret, int32_t maximumLength);
    // On a buffer of its own holding the bound string's text (cut).
    QIEditBase(const char* name, QIHANDLER fn, const IRect& rect, QIString* boundString,
               uint32_t classes, int32_t minimumCaret, int32_t maximumLength);
    // On a buffer and an empty string of its own.
    QIEditBase(const char* name, QIHANDLER fn, const IRect& rect, uint32_t classes,
               int32_t minimumCaret, int32_t maximumLength);
    ~QIEditBase() override;
    QIEditBase(const QIEditBase&) = delete;
    QIEditBase& operator=(const QIEditBase&) = delete;

    // Focus in and out, a press takes the capture and begins editing, the
    // capture's loss commits. A leaf: nothing is forwarded.
    int HandleInput(QIWidget** path, int kind, QIARG pointer) override;
    // 2: takes the capture and begins editing.
    void HandleMessage(int message, void* record, int extra) override;
    // The key table, while editing.
    void FilterChar(QIWidget** path, QIKey* key) override;

    void BeginEdit(void);
    // Working text to buffer and bound string; caret 0; not editing.
    void Commit(void);
    bool Editing(void) const { return flags & QIWF_EDITING; }
    // Whether c is in an enabled class.
    bool Accepts(int c) const;

    // The shared working text and its length.
    static char* Working(void);
    static int32_t WorkingLength(void);

protected:
    void Insert(int c);
    // Deletes count characters at at; notifies 20 when any went.
    void Delete(int32_t at, int32_t count);
};

struct QIFont;

enum QIEDIT_JUSTIFY { QIEJ_LEFT = 0, QIEJ_CENTRE = 1, QIEJ_RIGHT = 2 };
enum { QIEDIT_MARGIN = 10, QIEDIT_BLINKMS = 1000, QIEDIT_CARETONMS = 667 };

// The text field of every page: a framed box, the text placed by its
// justification, scrolled so the caret stays 10 pixels inside the right
// edge, and a caret that blinks while the field holds the capture (shown
// for the first 667 ms of every second after a key, on the system clock).
//
// Names used elsewhere: QIEditBuffer and QIEditEmpty are the bound and
// owning constructors.
class QIEdit : public QIEditBase {
public:
    IPoint textOffset;    // inner margin
    int32_t textStart = 0; // x of the text inside the field
    const QIFont* font;
    int32_t caretColour;
    uint32_t lastKeyMs = 0;
    int32_t justification;

    QIEdit(const char* name, QIHANDLER fn, const IRect& rect, const IPoint& offset, int32_t just,
           char* external, uint32_t classes, int32_t minimumCaret, int32_t maximumLength,
           int32_t caretCol, const QIFont* f);
    QIEdit(const char* name, QIHANDLER fn, const IRect& rect, const IPoint& offset, int32_t just,
           QIString* boundString, uint32_t classes, int32_t minimumCaret, int32_t maximumLength,
           int32_t caretCol, const QIFont* f);
    QIEdit(const char* name, QIHANDLER fn, const IRect& rect, const IPoint& offset, int32_t just,
           uint32_t classes, int32_t minimumCaret, int32_t maximumLength, int32_t caretCol,
           const QIFont* f);

    // 14 (the capture tick) redraws, for the blink; the rest as the base.
    int HandleInput(QIWidget** path, int kind, QIARG pointer) override;
    // Notes the key's time, edits, places the text again.
    void FilterChar(QIWidget** path, QIKey* key) override;
    // Frame style 3 with the focus and not editing, else 2; the working
    // text while editing, else buffer.
    void Draw(const IRect* clip) override;

    // The text shown now.
    const char* Shown(void) const { return Editing() ? Working() : buffer; }
    // textStart from the justification and the shown text's width; an
    // unknown justification changes nothing and is logged once a field.
    void PlaceText(void);
    // How far the text is drawn shifted left (negative: right) so the caret
    // stays inside the box, at most at visible width - 10, whatever the
    // justification.
    int32_t ScrollShift(void) const;
    // Whether the caret shows at the system time now.
    bool CaretShown(uint32_t now) const;

private:
    int32_t CaretFromBox(void) const;
    bool justificationLogged_ = false;
};
