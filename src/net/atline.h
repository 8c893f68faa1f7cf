// The line module: telephone lines on modems that speak AT commands, one
// line device per tty named by SetModemPorts (line name = the path; data
// modem media mode, voice bearer, 57600 bits per second at most).
//
// It is the library that the modem layer's loader finds: the modem layer
// reaches its eleven entry points only by name through ATLine_Symbol, and
// the library is present only when SetModemPorts names a port.
//
// A line is its tty, opened exclusive and raw. A reader thread per open line
// reads the modem's replies byte by byte and turns them into call states:
// "RING" offers a call on a line opened as owner, "CONNECT <rate>" connects
// the call (the modem is then in data mode and the reader ends, so that the
// data channel's bytes are left to whoever takes it over), "BUSY",
// "NO ANSWER", "NO DIALTONE", "NO CARRIER" and a dial's "ERROR" disconnect
// it. The messages queue up and reach the application's callback on the
// main thread, in ATLine_Pump, which Game_PumpMessages calls while the
// library is initialised. A reply for no call changes nothing.
//
// A pty has no DTR to drop, so a call in data mode is hung up with the
// escape "+++" between two guard times (set short at open with ATS12) and
// then "ATH".
#pragma once

#include <cstddef>
#include <cstdint>

// ---- the telephony interface's records and constants ----

enum {
    LINE_ADDRESSSTATE = 0,
    LINE_CALLINFO = 1,
    LINE_CALLSTATE = 2,
    LINE_CLOSE = 3,
    LINE_DEVSPECIFIC = 4,
    LINE_DEVSPECIFICFEATURE = 5,
    LINE_GATHERDIGITS = 6,
    LINE_GENERATE = 7,
    LINE_LINEDEVSTATE = 8,
    LINE_MONITORDIGITS = 9,
    LINE_MONITORMEDIA = 10,
    LINE_MONITORTONE = 11,
    LINE_REPLY = 12,
    LINE_REQUEST = 13,
    PHONE_BUTTON = 14,
    PHONE_CLOSE = 15,
    PHONE_DEVSPECIFIC = 16,
    PHONE_REPLY = 17,
    PHONE_STATE = 18,
    LINE_CREATE = 19,
    PHONE_CREATE = 20,
    LINE_AGENTSPECIFIC = 21,
    LINE_AGENTSTATUS = 22,
    LINE_APPNEWCALL = 23,
    LINE_PROXYREQUEST = 24,
    LINE_REMOVE = 25,
    PHONE_REMOVE = 26,
};

enum {
    LINECALLSTATE_IDLE = 0x1,
    LINECALLSTATE_OFFERING = 0x2,
    LINECALLSTATE_ACCEPTED = 0x4,
    LINECALLSTATE_DIALTONE = 0x8,
    LINECALLSTATE_DIALING = 0x10,
    LINECALLSTATE_RINGBACK = 0x20,
    LINECALLSTATE_BUSY = 0x40,
    LINECALLSTATE_SPECIALINFO = 0x80,
    LINECALLSTATE_CONNECTED = 0x100,
    LINECALLSTATE_PROCEEDING = 0x200,
    LINECALLSTATE_ONHOLD = 0x400,
    LINECALLSTATE_CONFERENCED = 0x800,
    LINECALLSTATE_ONHOLDPENDCONF = 0x1000,
    LINECALLSTATE_ONHOLDPENDTRANSFER = 0x2000,
    LINECALLSTATE_DISCONNECTED = 0x4000,
    LINECALLSTATE_UNKNOWN = 0x8000,
};

enum {
    LINEDIALTONEMODE_NORMAL = 0x1,
    LINEDIALTONEMODE_SPECIAL = 0x2,
    LINEDIALTONEMODE_INTERNAL = 0x4,
    LINEDIALTONEMODE_EXTERNAL = 0x8,
    LINEDIALTONEMODE_UNKNOWN = 0x10,
    LINEDIALTONEMODE_UNAVAIL = 0x20,
};

enum {
    LINEBUSYMODE_STATION = 0x1,
    LINEBUSYMODE_TRUNK = 0x2,
    LINEBUSYMODE_UNKNOWN = 0x4,
    LINEBUSYMODE_UNAVAIL = 0x8,
};

enum {
    LINEDISCONNECTMODE_NORMAL = 0x1,
    LINEDISCONNECTMODE_UNKNOWN = 0x2,
    LINEDISCONNECTMODE_REJECT = 0x4,
    LINEDISCONNECTMODE_PICKUP = 0x8,
    LINEDISCONNECTMODE_FORWARDED = 0x10,
    LINEDISCONNECTMODE_BUSY = 0x20,
    LINEDISCONNECTMODE_NOANSWER = 0x40,
    LINEDISCONNECTMODE_BADADDRESS = 0x80,
    LINEDISCONNECTMODE_UNREACHABLE = 0x100,
    LINEDISCONNECTMODE_CONGESTION = 0x200,
    LINEDISCONNECTMODE_INCOMPATIBLE = 0x400,
    LINEDISCONNECTMODE_UNAVAIL = 0x800,
    LINEDISCONNECTMODE_NODIALTONE = 0x1000,
};

enum {
    LINECALLPRIVILEGE_NONE = 0x1,
    LINECALLPRIVILEGE_MONITOR = 0x2,
    LINECALLPRIVILEGE_OWNER = 0x4,
};

enum {
    LINEMEDIAMODE_UNKNOWN = 0x2,
    LINEMEDIAMODE_INTERACTIVEVOICE = 0x4,
    LINEMEDIAMODE_AUTOMATEDVOICE = 0x8,
    LINEMEDIAMODE_DATAMODEM = 0x10,
    LINEMEDIAMODE_G3FAX = 0x20,
    LINEMEDIAMODE_TDD = 0x40,
    LINEMEDIAMODE_G4FAX = 0x80,
    LINEMEDIAMODE_DIGITALDATA = 0x100,
    LINEMEDIAMODE_TELETEX = 0x200,
    LINEMEDIAMODE_VIDEOTEX = 0x400,
    LINEMEDIAMODE_TELEX = 0x800,
    LINEMEDIAMODE_MIXED = 0x1000,
    LINEMEDIAMODE_ADSI = 0x2000,
    LINEMEDIAMODE_VOICEVIEW = 0x4000,
};

enum {
    LINEBEARERMODE_VOICE = 0x1,
    LINEBEARERMODE_SPEECH = 0x2,
    LINEBEARERMODE_MULTIUSE = 0x4,
    LINEBEARERMODE_DATA = 0x8,
    LINEBEARERMODE_ALTSPEECHDATA = 0x10,
    LINEBEARERMODE_NONCALLSIGNALING = 0x20,
};

enum { LINECALLSELECT_CALL = 0x4 };
enum { LINE_API_VERSION = 0x00010004u };

// The error codes this module returns (negative as int32_t).
enum : uint32_t {
    LINEERR_ALLOCATED = 0x80000001u,
    LINEERR_BADDEVICEID = 0x80000002u,
    LINEERR_INCOMPATIBLEAPIVERSION = 0x8000000Cu,
    LINEERR_INVALAPPHANDLE = 0x80000014u,
    LINEERR_INVALCALLHANDLE = 0x80000018u,
    LINEERR_INVALCALLSTATE = 0x8000001Cu,
    LINEERR_INVALDEVICECLASS = 0x80000023u,
    LINEERR_INVALLINEHANDLE = 0x8000002Bu,
    LINEERR_INVALMEDIAMODE = 0x8000002Fu,
    LINEERR_INVALPOINTER = 0x80000035u,
    LINEERR_OPERATIONFAILED = 0x80000048u,
    LINEERR_OPERATIONUNAVAIL = 0x80000049u,
    LINEERR_UNINITIALIZED = 0x80000050u,
};

typedef uint32_t HLINEAPP;
typedef uint32_t HLINE;
typedef uint32_t HCALL;
typedef void (*LINECALLBACK)(uint32_t device, uint32_t message, uintptr_t instance, uintptr_t param1,
                             uintptr_t param2, uintptr_t param3);

// Every record starts with its buffer's total size (set by the caller), the
// size the full record needs and the size filled; a record whose needed size
// is above its total holds only its fixed part.
struct LINEDEVCAPS {
    uint32_t totalSize, neededSize, usedSize;
    uint32_t lineNameSize, lineNameOffset; // the name's bytes, terminator included, from the record's start
    uint32_t bearerModes, maxRate, mediaModes;
};

struct LINECALLINFO {
    uint32_t totalSize, neededSize, usedSize;
    uint32_t rate, mediaMode, bearerMode;
};

// lineGetID's answer: the variable part is the descriptor (u32) followed by
// the device name and its terminator.
struct VARSTRING {
    uint32_t totalSize, neededSize, usedSize;
    uint32_t stringFormat, stringSize, stringOffset;
};

// lineMakeCall's call parameters (total size 176; only these fields count).
struct LINECALLPARAMS {
    uint32_t totalSize, bearerMode, minRate, maxRate, mediaMode;
};

// ---- the entry points, as the loader resolves them ----

typedef int32_t (*LINEANSWER_FN)(HCALL call, const char* userData, uint32_t size);
typedef int32_t (*LINECLOSE_FN)(HLINE line);
typedef int32_t (*LINEDROP_FN)(HCALL call, const char* userData, uint32_t size);
typedef int32_t (*LINEGETCALLINFO_FN)(HCALL call, LINECALLINFO* info);
typedef int32_t (*LINEGETDEVCAPS_FN)(HLINEAPP app, uint32_t device, uint32_t version, uint32_t extVersion,
                                     LINEDEVCAPS* caps);
typedef int32_t (*LINEGETID_FN)(HLINE line, uint32_t address, HCALL call, uint32_t select, VARSTRING* id,
                                const char* deviceClass);
typedef int32_t (*LINEINITIALIZE_FN)(HLINEAPP* app, void* instance, LINECALLBACK callback, const char* appName,
                                     uint32_t* devices);
typedef int32_t (*LINEMAKECALL_FN)(HLINE line, HCALL* call, const char* number, uint32_t country,
                                   const LINECALLPARAMS* params);
typedef int32_t (*LINENEGOTIATEAPIVERSION_FN)(HLINEAPP app, uint32_t device, uint32_t low, uint32_t high,
                                              uint32_t* version, uint32_t* extVersion);
typedef int32_t (*LINEOPEN_FN)(HLINEAPP app, uint32_t device, HLINE* line, uint32_t version, uint32_t extVersion,
                               uintptr_t instance, uint32_t privileges, uint32_t mediaModes,
                               const LINECALLPARAMS* params);
typedef int32_t (*LINESHUTDOWN_FN)(HLINEAPP app);

struct ATLINE_LIBRARY;

// The library when SetModemPorts names at least one port (its ports read
// now, once per load), otherwise null.
ATLINE_LIBRARY* ATLine_Load(void);
// The entry point of that name; null for an unknown name or one that a test
// marked unavailable.
void* ATLine_Symbol(ATLINE_LIBRARY* library, const char* name);

// Delivers the queued line messages to the callback, in order, on the
// calling thread (Game_PumpMessages calls it while initialised).
void ATLine_Pump(void);
// Examines bytes as if the line's modem had sent them (the reader thread
// feeds what it reads; tests and fuzzing feed their own). A line that is not
// open takes nothing.
void ATLine_Receive(HLINE line, const uint8_t* bytes, size_t count);
// The line of a device index (valid while it is open).
HLINE ATLine_LineOf(uint32_t device);

// Tests: makes an entry point unavailable to the next loads (null: all
// available again), and makes a port no data modem (its index; -1: none).
void ATLine_SetUnavailable(const char* name);
void ATLine_SetNoDataModem(int device);
// Fuzzing: the silence kept before and after the escape (250 ms).
void ATLine_SetGuardMs(uint32_t ms);
