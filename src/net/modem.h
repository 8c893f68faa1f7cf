// The modem layer: places or answers a data call on a modem, reports the
// call's progress as status ids and hands the connected call's data channel
// to the serial transport.
//
// Status: 0 not initialised -> MODEM_Init -> 1 idle -> MODEM_dial or
// MODEM_Answer -> 2 line open -> CONNECTED -> 3 -> MODEM_Connect -> 4 handed
// over -> MODEM_Disconnect -> 2 -> line closed -> 1 -> MODEM_Close -> 0. A
// DISCONNECTED call state returns the status to 2 from anywhere.
//
// The line library is reached only through a loader that resolves each of
// its eleven entry points by name on first use; an entry point that can't be
// found answers LINEERR_OPERATIONUNAVAIL, so that a machine without modems
// simply fails MODEM_Init. Line messages reach MODEM_LineCallback on the
// main thread, while it pumps messages.
#pragma once

#include <cstdint>

#include "net/atline.h"

// Reported for every data modem by MODEM_Init: index, line name, maximum rate.
typedef void (*MODEM_DEVICE_CALLBACK)(uint32_t device, const char* name, uint32_t maxRate);
// The page's status callback: takes the status id.
typedef void (*MODEM_STATUS_CALLBACK)(const char* statusId);

// Initialises the line library and reports every data modem through the
// callback; 1 on success (also when already initialised: NDIAG
// "MODEM_already initialised"). A library error is logged (NERR "TAPI ERROR:
// %d : %s") and gives 0.
int MODEM_Init(MODEM_DEVICE_CALLBACK devices);
// Disconnects, shuts the library down, status 0. Always 1.
int MODEM_Close(void);
// Opens the device's line and dials the number; 1 when the call was placed.
// 0 when not initialised (NWARN "call to MODEM_dial without initialising"),
// for no data modem (NWARN "device specified is not a DATA MODEM"), or when
// the line or the call is refused: logged, what was opened closed, status id
// "ModemStatusDisconnected" reported.
int MODEM_dial(uint32_t device, const char* number);
// Opens the device's line as owner, so that an incoming call is offered and
// answered at once; 1 when open, 0 as for MODEM_dial.
int MODEM_Answer(uint32_t device);
// The status, 0 to 4.
uint32_t MODEM_GetStatus(void);
// Hands the connected call's data channel to the serial transport; status 4,
// 1. 0 when not initialised (NWARN "call to MODEM_Connect without
// initialising") or when the channel can't be had (logged).
int MODEM_Connect(void);
// Drops the call (status 3 or 4) and closes the line (status 2); 1, or 0
// when not initialised (NWARN) or when closing failed (NERR).
int MODEM_Disconnect(void);
// Registers the status callback (null unregisters); only while initialised,
// otherwise NWARN "call to MODEM_MessageRegister without initialising".
void MODEM_MessageRegister(MODEM_STATUS_CALLBACK callback);
// The text of a line library error code; "Unknown TAPI error code" for a
// code this system's line library never returns.
const char* MODEM_ErrorText(uint32_t code);
// Negotiates version 1.4 for the device and fetches its capabilities, the
// buffer grown once when the library needs more; a buffer to free(), or null
// on a library error (logged).
LINEDEVCAPS* MODEM_GetDevCaps(HLINEAPP app, uint32_t device, uint32_t* version);
// The call's information, grown the same way; free() it; null on an error.
LINECALLINFO* MODEM_GetCallInfo(HCALL call);
// Logs (NERR) "TAPI ERROR: %d : %s" with the code and its text.
void MODEM_LogError(uint32_t code);
// The line callback: logs every message (NDIAG); a call state message turns
// into the status and status ids.
void MODEM_LineCallback(uint32_t device, uint32_t message, uintptr_t instance, uintptr_t param1, uintptr_t param2,
                        uintptr_t param3);

// Tests: forgets the loaded library and every resolved entry point, so that
// the next request loads again.
void MODEM_ResetLoader(void);
