// The end-condition layer: the current team's end-condition file and AI
// state machine, each with its name and wrapped description, and the
// region buttons and map label switches of its lower panel.
#pragma once

#include "widgets/qiwidget.h"

struct QIFont;
class QIList;

class MeEndCond {
public:
    // "EndCondLayer" (hidden) with both selectors and "EndCondLayer2",
    // recorded in the editor object; both label switches off.
    static void BuildLayer(void);
    // 18: SelectEndCond (SelectFsm).
    static int OnSelectEndCond(QIWidget* widget, int event, QIARG data);
    static int OnSelectFsm(QIWidget* widget, int event, QIARG data);
    // The file dialog over the scenario folder and the "aip" directory; Ok
    // sets the current team's file (an empty pick: none) and lists it.
    static void SelectEndCond(void);
    // As SelectEndCond for ".FSM" files, set for variations 0, 1 and 2.
    static void SelectFsm(void);
    // team's file name into the name field and its description, wrapped to
    // the list's width in font, into the list.
    static void ListEndConds(int team, const QIFont* font);
    static void ListFsms(int team, const QIFont* font);
    // text broken into rows of list no wider than width in font's character
    // widths, at the last space where there is one; every row takes at
    // least one character.
    static void Wrap(QIList* list, const char* text, int width, const QIFont* font);
    // "RegionNew" on 18: the region tool becomes current.
    static int OnNewRegion(QIWidget* widget, int event, QIARG data);
};
