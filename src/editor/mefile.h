// The editor's File layer: whether the open scenario has unsaved changes,
// and the small modal boxes every layer uses.
//
// Edits are not tracked one by one: a CRC-32 over the scenario's content is
// compared with a baseline taken at start-up, load, create and save. The
// checksum leaves out what the scenario writer doesn't round-trip as an
// edit (scenario name, unit and building types, a building's critical flag,
// current altitude, water and mineral); the tile set and the tech level,
// which the writer keeps, count.
#pragma once

#include <cstdint>

#include "widgets/qiwidget.h"

class QIList;
class QIPopup;
class QISlider;
class QIString;

class MeMenuFile {
public:
    // The content checksum of the open scenario: buildings, units (with
    // their orders, tactical settings and trail), overlays, map elements,
    // regions, the nine teams, the tile set's name and the tech level, in
    // that order; 0 with no scenario open.
    static uint32_t ChangeChecksum(void);
    // 1 when the scenario differs from the baseline. A found difference
    // sticks (MEF_MODIFIED) until the next baseline, undone edits included.
    static int IsModified(void);
    // The baseline becomes the current checksum; the modified flag clears.
    static void StoreBaseline(void);

    // A popup named id with the title, holding a static (also id) with text
    // centred 42 pixels below its top; as wide as the text in the editor
    // font plus 64, at least 180, and 110 high. show: opened at once. The
    // caller closes it.
    static QIPopup* MessageBox(const char* id, const char* title, const char* text, int show);
    // "Error!" with the text of key + "Desc" (else format) and one button
    // key + "Ok"; returns once it is clicked.
    static void ErrorBox(const char* key, const char* format, ...) __attribute__((format(printf, 2, 3)));
    // "Wait!" with Ok (key + "Ok") and Cancel (key + "Cancel"): the modal
    // result, 23 for Ok.
    static int QueryBox(const char* key, const char* format, ...) __attribute__((format(printf, 2, 3)));
    // One text item per file matching pattern (a path with wildcards in its
    // last part), named in lower case with an upper-case first letter, in
    // directory order; directories are skipped.
    static void ListFiles(QIList* list, const char* pattern);
    // A modal 160 x 300 picker of the files matching any of the patterns
    // (joined by ';', listed in that order) that are one token of at most 63
    // characters. Ok puts the picked name (empty when none) into result;
    // Cancel leaves it as it was. The modal result, 23 for Ok.
    static int FileListDialog(const char* id, const char* title, QIString* result, const char* patterns);
    // The scroll bar's up and down buttons, cut from "up.bmp" and "dn.bmp".
    static void BuildScrollList(QISlider* bar);
    // A message panel with a progress bar over steps steps, left up while
    // the caller works; CloseWaitPanel takes it down.
    static void ShowWaitPanel(int steps, const char* id, const char* title, const char* text);
    static void CloseWaitPanel(void);
    // One step more, with text and the percentage done, drawn and flipped
    // at once; nothing while no wait panel is up.
    static void LoadProgress(const char* text);
    // The wait panel's popup, null when none is up.
    static QIPopup* WaitPanel(void);

    // The scenario named by the scenario name text in the selected category
    // read in place of the open one, behind a wait panel; nothing when it
    // doesn't exist. A scenario the reader refuses is reported in an error
    // box with the reader's text; the editor stays, without a scenario open.
    static void Load(void);
    // The create dialog (name, width, height) and CreateNamed on Ok; refused
    // in the fixed category.
    static void Create(void);
    // A new w x h scenario named folder in the selected category, written
    // (scenario text and map) and opened; refused with an error box when it
    // has no name, exists or its folder can't be made. A failed write leaves no scenario
    // open. Start positions outside the new map become none.
    static void CreateNamed(const char* folder, int w, int h);
    // A typed map side: its leading decimal digits, 20..500.
    static int ClampSide(const char* typed);
    // The folder named by the scenario name text in the open category:
    // written (its three files), after asking before overwriting another
    // scenario; on a failed write an error box, the baseline kept.
    static void Save(void);
    // With a modified scenario open outside the fixed category: asks to save
    // it, and saves it under its own name on Ok. True when the scenario may
    // be left or replaced: nothing to save, saved, or the user chose not to
    // save; false when the save failed or the question was ended by a close
    // request (the caller stays where it is).
    static bool QuerySave(void);
    // The folder named by the scenario name text removed with all it holds,
    // after asking; the open scenario stays in memory.
    static void Delete(void);

    // "FileLayer" and "FileLayer2" with the category and scenario lists and
    // the action buttons; the selected category becomes 1.
    static void BuildLayer(void);
    // The save question, then the desktop's loop ends with the next state
    // (GS_NEWGAME plays the open scenario in its category); false, and the
    // editor stays, when the question says the scenario isn't safe.
    static bool Leave(int state);
    // After the desktop's loop ended: a close request (the window's close,
    // an interrupt) leaves as Alt+Q does, asking to save first; further
    // close requests while that question is up are ignored until Ok or
    // Cancel is clicked. True
    // when the visit ends (the request stays posted for the state loop),
    // false when the editor stays and its loop is to run again.
    static bool LeaveOnClose(void);
    // The leave buttons (on a click): Leave for a new game of the open
    // scenario (nothing without one), the front end, or the program's end.
    static int OnLaunch(QIWidget* widget, int event, QIARG data);
    static int OnMenu(QIWidget* widget, int event, QIARG data);
    static int OnQuit(QIWidget* widget, int event, QIARG data);

    // Shared by the File layer's boxes: the strings' text of key (else
    // format) expanded into out (256 bytes); the modal run of a popup with
    // the map's drawing and the editor's keys held (the box owns the
    // keyboard; under MEF_CLOSING a close request doesn't end it); Ok and
    // Cancel buttons named key + "Ok" and
    // key + "Cancel" in slots 0 and 1.
    static void FormatText(char* out, const char* key, const char* format, ...) __attribute__((format(printf, 3, 4)));
    static int RunModal(QIPopup* pop);
    static void AddOkCancel(QIPopup* pop, const char* key);
};
