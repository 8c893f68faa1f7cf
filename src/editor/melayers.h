// The editor's main menu: ten toggle buttons along the top, one per side
// panel layer, of which one is down; choosing a layer also chooses the tool
// the big map talks to once a scenario is open.
#pragma once

#include "widgets/qistring.h"
#include "widgets/qiwidget.h"

enum MELAYER_ROW {
    MELAYER_FILE,
    MELAYER_TERRAIN,
    MELAYER_ADDUNIT,
    MELAYER_ADDBUILDING,
    MELAYER_ADDOBJECT,
    MELAYER_PATHS,
    MELAYER_ORDERS,
    MELAYER_AI,
    MELAYER_PLAYER,
    MELAYER_STATS,
    MELAYER_ROWS,
};

class MeLayers {
public:
    // "MainMenu" with its ten buttons from "me_butns.bmp", built without the
    // default Sticky flag (which stays cleared); "File" starts down.
    static void BuildMainMenu(void);
    // The switch of row on a button event: 17 shows the row's layer, 18
    // hides it, each with the tool rules; other events only recount for
    // "Player" and "Stats". The layer, null when the desktop has none (then
    // nothing changes).
    static QIWidget* ShowLayer(int row, int event);
    // "TeamMenu": nine latching buttons "Plr1".."Plr9" bound to the current
    // team, "Plr1" down (team 0) without a notification.
    static void BuildTeamMenu(void);
    // On 12: the editor follows the new current team; with either Shift in
    // data's pointer and a start whose x and y are not 0, the big map's view
    // starts there. Other events are returned unchanged.
    static int OnTeamMenu(QIWidget* widget, int event, QIARG data);
    // The widget handler of each row's button.
    static const QIHANDLER kHandlers[MELAYER_ROWS];
    // The layout cursor moved by delta: the new cursor.
    static IPoint MenuOffset(const IPoint& delta);
    // child appended under parent (null: a top-level widget), counted.
    static void LinkChild(QIWidget* child, QIWidget* parent);

    // The add layers, hidden; the unit layer first: it makes the pickers'
    // shared item frame.
    static void BuildAddUnit(void);
    static void BuildAddBuilding(void);
    // With the brush shape menu, the zoom and brush-size value buttons; from
    // here on the library's default flags repeat left presses.
    static void BuildAddObject(void);
    // On 12: the select tool to click mode when the picker's current index
    // names an item; otherwise nothing.
    static int OnUnitPicked(QIWidget* widget, int event, QIARG data);
    static int OnBuildingPicked(QIWidget* widget, int event, QIARG data);
    static int OnObjectPicked(QIWidget* widget, int event, QIARG data);
    // On 18: the current tool's operation ("Sel Plr" passes the current
    // team, "Sel All" -1); other events nothing.
    static int OnDelete(QIWidget* widget, int event, QIARG data);
    static int OnCopy(QIWidget* widget, int event, QIARG data);
    static int OnSelectAllUnits(QIWidget* widget, int event, QIARG data);
    static int OnSelectTeamUnits(QIWidget* widget, int event, QIARG data);
    static int OnSelectAllBuildings(QIWidget* widget, int event, QIARG data);
    static int OnSelectTeamBuildings(QIWidget* widget, int event, QIARG data);
    static int OnSelectAllObjects(QIWidget* widget, int event, QIARG data);
    static int OnIncTeam(QIWidget* widget, int event, QIARG data);
    static int OnRemoveDups(QIWidget* widget, int event, QIARG data);
    // The select tool's brush size as "%d".
    static void BrushSizeText(QIString* text);
};
