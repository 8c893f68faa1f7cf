// The editor's main menu: ten toggle buttons along the top, one per side
// panel layer, of which one is down; choosing a layer also chooses the tool
// the big map talks to once a scenario is open.
#pragma once

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
};
