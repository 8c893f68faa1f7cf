// What the order module's own files share: the node store, the execution
// state and the recorder call each other through these; nothing outside the
// order module uses them.
#pragma once

#include <cstdint>

#include "units/orders.h"

// Frees every queued node and forgets the selections last sent.
void Orders_ResetNodes(void);
// As Orders_ResetNodes, then gives back the node store's memory.
void Orders_CloseNodes(void);
// Remembers the value this machine sent with a QCHECKSYNC of that kind.
void Orders_NoteLocalSync(int kind, uint32_t value);
// Writes one record of the executed queue's orders (the nodes stay as they
// are); a failed write is logged and stops the recording.
void Orders_RecordExecuted(const ORDERQUEUE* executed);
// Moves the recorded orders of that update onto out, in recorded order.
void Orders_TakePlayback(uint32_t update, ORDERQUEUE* out);

// A handler and the payload bytes it reads (a shorter payload is refused
// before it runs).
struct ORDERHANDLER {
    void (*fn)(const ORDERREC* node);
    int length;
};
// The order's name for messages ("QMOVE").
const char* Orders_CodeName(int code);
// Fills the table's entries of the orders carried out by the units'
// service orders (ordersunit.cpp).
void Orders_SetupUnitHandlers(ORDERHANDLER* table);
// The same for the orders carried out at buildings (ordersbld.cpp).
void Orders_SetupBuildingUnitHandlers(ORDERHANDLER* table);
