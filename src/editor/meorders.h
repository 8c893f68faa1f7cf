// The Orders layer: how placed units behave when the scenario starts, either
// a standing automove order or three tactical levels, shown for what the
// selection has in common and applied to every selected unit at once.
//
// Design note. The shown values live in g_MeEditor.orders and the four menus
// are bound to them; -1 means none or mixed. A -1 goes out to the tool as -1
// (the unit brush then keeps the unit's own level), never as 2 - (-1), so a
// unit's levels stay within what the scenario reader accepts.
#pragma once

#include <cstdint>

#include "widgets/qiwidget.h"

class MeOrders {
public:
    // "OrdersLayer" and "OrdersLayer2" with their menus and buttons, hidden.
    static void BuildLayer(void);
    // Defaults from team 0's unit defaults; shown values -1, masks 0.
    static void Reset(void);
    // The shown values from the select tool's masks; menus redrawn.
    static void FromSelection(void);
    // The four menus redrawn from the shown values.
    static void Refresh(void);
    // The shown values to the current tool's selection.
    static void Apply(void);
    // The one value a mask of exactly bit 1, 2 or 4 stands for; else -1.
    static int Single(uint32_t mask);

    // Widget handlers: the menus on 12, the presets and "Use as default" on 17.
    static int OnOrder(QIWidget* widget, int event, QIARG data);
    static int OnTactical(QIWidget* widget, int event, QIARG data);
    static int OnGuard(QIWidget* widget, int event, QIARG data);
    static int OnPursue(QIWidget* widget, int event, QIARG data);
    static int OnDefault(QIWidget* widget, int event, QIARG data);
    static int OnSetDefault(QIWidget* widget, int event, QIARG data);
};
