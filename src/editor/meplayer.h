// The Player layer: the current team's side, start position, alliance
// group, starting credits and its relations towards the eight player teams,
// each written through the team setters and read back, so a refused change
// shows the old value again.
#pragma once

#include "widgets/qiwidget.h"

class MePlayer {
public:
    // "PlayerLayer" (hidden) with "PlrLayer2" and every widget, recorded in
    // the editor object; the relation rows from the current team.
    static void BuildLayer(void);
    // "PlrSideMenu" on 12: the current team's side from the side choice.
    static int OnSide(QIWidget* widget, int event, QIARG data);
    // "PlrStartPos" on 18: the start-position tool becomes current.
    static int OnStartPos(QIWidget* widget, int event, QIARG data);
    // "StartCredit" on 19: the digits (empty: 0) become the team's credits
    // while a scenario is open; on 19 and 12 the text follows the team.
    static int OnCredits(QIWidget* widget, int event, QIARG data);
    // A "PlayerRelationMenu" on 12: every row into the current team's relations.
    static int OnRelation(QIWidget* widget, int event, QIARG data);
    // "PlrGroup" closed (22): the picked row becomes the team's group while
    // a scenario is open, then the list shows the team's group.
    static int OnGroup(QIWidget* widget, int event, QIARG data);
    // With a scenario open: "%d" of the current team's credits.
    static void RefreshCredits(void);
    // The group list's row from the current team's group; none outside 0..7.
    static void ShowGroup(void);
};
