#include "net/modem.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "core/tlog.h"
#include "net/comm.h"

namespace {

// ---- the loader ----

enum {
    E_ANSWER,
    E_CLOSE,
    E_DROP,
    E_GETCALLINFO,
    E_GETDEVCAPS,
    E_GETID,
    E_INITIALIZE,
    E_MAKECALL,
    E_NEGOTIATE,
    E_OPEN,
    E_SHUTDOWN,
    E_COUNT,
};

const char* const kEntryNames[E_COUNT] = {
    "lineAnswer", "lineClose",    "lineDrop",
    "lineGetCallInfo", "lineGetDevCaps", "lineGetID",
    "lineInitialize", "lineMakeCall", "lineNegotiateAPIVersion",
    "lineOpen",   "lineShutdown",
};

int s_libraryTried;
ATLINE_LIBRARY* s_library;
int s_resolved[E_COUNT];
void* s_entries[E_COUNT];

// The entry point, or null when it is unavailable (the library is tried once
// per run, each name once).
void* Entry(int e)
{
    if (!s_libraryTried) {
        s_libraryTried = 1;
        s_library = ATLine_Load();
    }
    if (!s_resolved[e]) {
        s_resolved[e] = 1;
        s_entries[e] = s_library ? ATLine_Symbol(s_library, kEntryNames[e]) : nullptr;
    }
    return s_entries[e];
}

const int32_t kUnavail = (int32_t)LINEERR_OPERATIONUNAVAIL;

#define FORWARD(e, type, ...) \
    type f = (type)Entry(e);  \
    return f ? f(__VA_ARGS__) : kUnavail

int32_t lineAnswer(HCALL c, const char* u, uint32_t n) { FORWARD(E_ANSWER, LINEANSWER_FN, c, u, n); }
int32_t lineClose(HLINE l) { FORWARD(E_CLOSE, LINECLOSE_FN, l); }
int32_t lineDrop(HCALL c, const char* u, uint32_t n) { FORWARD(E_DROP, LINEDROP_FN, c, u, n); }
int32_t lineGetCallInfo(HCALL c, LINECALLINFO* i) { FORWARD(E_GETCALLINFO, LINEGETCALLINFO_FN, c, i); }
int32_t lineGetDevCaps(HLINEAPP a, uint32_t d, uint32_t v, uint32_t x, LINEDEVCAPS* c)
{
    FORWARD(E_GETDEVCAPS, LINEGETDEVCAPS_FN, a, d, v, x, c);
}
int32_t lineGetID(HLINE l, uint32_t a, HCALL c, uint32_t s, VARSTRING* i, const char* k)
{
    FORWARD(E_GETID, LINEGETID_FN, l, a, c, s, i, k);
}
int32_t lineInitialize(HLINEAPP* a, void* h, LINECALLBACK cb, const char* n, uint32_t* d)
{
    FORWARD(E_INITIALIZE, LINEINITIALIZE_FN, a, h, cb, n, d);
}
int32_t lineMakeCall(HLINE l, HCALL* c, const char* n, uint32_t k, const LINECALLPARAMS* p)
{
    FORWARD(E_MAKECALL, LINEMAKECALL_FN, l, c, n, k, p);
}
int32_t lineNegotiateAPIVersion(HLINEAPP a, uint32_t d, uint32_t lo, uint32_t hi, uint32_t* v, uint32_t* x)
{
    FORWARD(E_NEGOTIATE, LINENEGOTIATEAPIVERSION_FN, a, d, lo, hi, v, x);
}
int32_t lineOpen(HLINEAPP a, uint32_t d, HLINE* l, uint32_t v, uint32_t x, uintptr_t i, uint32_t p, uint32_t m,
                 const LINECALLPARAMS* c)
{
    FORWARD(E_OPEN, LINEOPEN_FN, a, d, l, v, x, i, p, m, c);
}
int32_t lineShutdown(HLINEAPP a) { FORWARD(E_SHUTDOWN, LINESHUTDOWN_FN, a); }

// ---- the layer ----

int s_initialised;
uint32_t s_status;
HLINEAPP s_app;
uint32_t s_devices;
HLINE s_line;
HCALL s_call;
MODEM_STATUS_CALLBACK s_report;

const char kAppName[] = "Quorvex Modem";

void Report(const char* id)
{
    if (s_report) s_report(id);
}

struct Flag {
    uint32_t bit;
    const char* name;
};

const Flag kBearerNames[] = {
    {LINEBEARERMODE_VOICE, "VOICE"},       {LINEBEARERMODE_SPEECH, "SPEECH"},
    {LINEBEARERMODE_MULTIUSE, "MULTIUSE"}, {LINEBEARERMODE_DATA, "DATA"},
    {LINEBEARERMODE_ALTSPEECHDATA, "ALTSPEECHDATA"}, {LINEBEARERMODE_NONCALLSIGNALING, "NONCALLSIGNALING"},
};

const Flag kMediaNames[] = {
    {LINEMEDIAMODE_UNKNOWN, "UNKNOWN"},         {LINEMEDIAMODE_INTERACTIVEVOICE, "INTERACTIVEVOICE"},
    {LINEMEDIAMODE_AUTOMATEDVOICE, "AUTOMATEDVOICE"}, {LINEMEDIAMODE_DATAMODEM, "DATAMODEM"},
    {LINEMEDIAMODE_G3FAX, "G3FAX"},             {LINEMEDIAMODE_TDD, "TDD"},
    {LINEMEDIAMODE_G4FAX, "G4FAX"},             {LINEMEDIAMODE_DIGITALDATA, "DIGITALDATA"},
    {LINEMEDIAMODE_TELETEX, "TELETEX"},         {LINEMEDIAMODE_VIDEOTEX, "VIDEOTEX"},
    {LINEMEDIAMODE_TELEX, "TELEX"},             {LINEMEDIAMODE_MIXED, "MIXED"},
    {LINEMEDIAMODE_ADSI, "ADSI"},               {LINEMEDIAMODE_VOICEVIEW, "VOICEVIEW"},
};

template <size_t N>
std::string FlagNames(const Flag (&flags)[N], uint32_t bits)
{
    std::string out;
    for (const Flag& f : flags)
        if (bits & f.bit) out += out.empty() ? f.name : std::string(" ") + f.name;
    return out;
}

const char* LineName(const LINEDEVCAPS* caps)
{
    if (caps->lineNameSize == 0 || caps->lineNameOffset + caps->lineNameSize > caps->usedSize) return "";
    return (const char*)caps + caps->lineNameOffset;
}

// The record in a buffer of start bytes, fetched again once in a buffer of
// the needed size when the library asks for more.
template <typename T, typename Fetch>
T* Fetched(uint32_t start, Fetch fetch)
{
    T* r = (T*)calloc(1, start);
    r->totalSize = start;
    int32_t e = fetch(r);
    if (e == 0 && r->neededSize > r->totalSize) {
        uint32_t needed = r->neededSize;
        free(r);
        r = (T*)calloc(1, needed);
        r->totalSize = needed;
        e = fetch(r);
    }
    if (e < 0) {
        MODEM_LogError((uint32_t)e);
        free(r);
        return nullptr;
    }
    return r;
}

// The capabilities of a device about to be opened; null after a logged
// warning or error.
LINEDEVCAPS* DataModem(uint32_t device, uint32_t* version)
{
    LINEDEVCAPS* caps = MODEM_GetDevCaps(s_app, device, version);
    if (caps && !(caps->mediaModes & LINEMEDIAMODE_DATAMODEM)) {
        TLOG(TLOG_NWARN, "device specified is not a DATA MODEM");
        free(caps);
        return nullptr;
    }
    return caps;
}

// The line or call was refused: logged, what this call opened closed, and
// the page told.
int Refused(int32_t error, int closeLine)
{
    MODEM_LogError((uint32_t)error);
    if (closeLine) {
        lineClose(s_line);
        s_line = 0;
        s_status = 1;
    }
    Report("ModemStatusDisconnected");
    return 0;
}

int OpenLine(uint32_t device, uint32_t version, uint32_t privileges)
{
    HLINE line = 0;
    int32_t e = lineOpen(s_app, device, &line, version, 0, 0, privileges, LINEMEDIAMODE_DATAMODEM, nullptr);
    if (e < 0) return Refused(e, 0);
    s_line = line;
    s_call = 0;
    s_status = 2;
    return 1;
}

// ---- the line callback's tables ----

struct Row {
    uint32_t value;
    const char* log;
    const char* report; // null: nothing reported
};

const Row kMessages[] = {
    {LINE_ADDRESSSTATE, "msg LINE_ADDRESSSTATE", nullptr},
    {LINE_CALLINFO, "msg LINE_CALLINFO", nullptr},
    {LINE_CLOSE, "msg LINE_CLOSE", nullptr},
    {LINE_DEVSPECIFIC, "msg LINE_DEVSPECIFIC", nullptr},
    {LINE_DEVSPECIFICFEATURE, "msg LINE_DEVSPECIFICFEATURE", nullptr},
    {LINE_GATHERDIGITS, "msg LINE_GATHERDIGITES", nullptr},
    {LINE_GENERATE, "msg LINE_GENERATE", nullptr},
    {LINE_LINEDEVSTATE, "msg LINE_LINEDEVSTATE", nullptr},
    {LINE_MONITORDIGITS, "msg LINE_MONITORDIGITS", nullptr},
    {LINE_MONITORMEDIA, "msg LINE_MONITORMEDIA", nullptr},
    {LINE_MONITORTONE, "msg LINE_MONITORTONE", nullptr},
    {LINE_REPLY, "msg LINE_REPLY", nullptr},
    {LINE_REQUEST, "msg LINE_REQUEST", nullptr},
    {LINE_CREATE, "msg LINE_CREATE", nullptr},
    {LINE_AGENTSPECIFIC, "msg LINE_AGENTSPECIFIC", nullptr},
    {LINE_AGENTSTATUS, "msg LINE_AGENTSTATUS", nullptr},
    {LINE_APPNEWCALL, "msg LINE_APPNEWCALL", nullptr},
    {LINE_PROXYREQUEST, "msg LINE_PROXYREQUEST", nullptr},
    {LINE_REMOVE, "msg LINE_REMOVE", nullptr},
};

const Row kPrivileges[] = {
    {LINECALLPRIVILEGE_MONITOR, "---- Line Call Privilege Changed : Now Monitor", "ModemStatusPrivilegeMonitor"},
    {LINECALLPRIVILEGE_OWNER, "---- Line Call Privilege Changed : Now Owner", "ModemStatusPrivilegeOwner"},
};

const Row kStates[] = {
    {LINECALLSTATE_IDLE, "---- IDLE", nullptr},
    {LINECALLSTATE_OFFERING, "---- OFFERING", "ModemStatusRinging"},
    {LINECALLSTATE_ACCEPTED, "---- ACCEPTED", "ModemStatusAccepted"},
    {LINECALLSTATE_DIALTONE, "---- DIALTONE", nullptr},
    {LINECALLSTATE_DIALING, "---- DIALING", "ModemStatusDialing"},
    {LINECALLSTATE_RINGBACK, "---- RINGBACK", nullptr},
    {LINECALLSTATE_BUSY, "---- BUSY", nullptr},
    {LINECALLSTATE_SPECIALINFO, "---- SPECIAL INFO", nullptr},
    {LINECALLSTATE_CONNECTED, "---- CONNECTED", "ModemStatusConnected"},
    {LINECALLSTATE_PROCEEDING, "---- PROCEEDING", "ModemStatusProceeding"},
    {LINECALLSTATE_ONHOLD, "---- ONHOLD", nullptr},
    {LINECALLSTATE_CONFERENCED, "---- CONFERENCED", nullptr},
    {LINECALLSTATE_ONHOLDPENDCONF, "---- ON HOLD PENDING CONFERENCE", nullptr},
    {LINECALLSTATE_DISCONNECTED, "---- DISCONNECTED", nullptr},
    {LINECALLSTATE_UNKNOWN, "---- UNKNOWN", nullptr},
};

const Row kDialToneModes[] = {
    {LINEDIALTONEMODE_NORMAL, "-------- NORMAL", "ModemStatusDialTone"},
    {LINEDIALTONEMODE_SPECIAL, "-------- SPECIAL", "ModemStatusDialTone"},
    {LINEDIALTONEMODE_INTERNAL, "-------- INTERNAL", "ModemStatusDialTone"},
    {LINEDIALTONEMODE_EXTERNAL, "-------- EXTERNAL", "ModemStatusDialTone"},
    {LINEDIALTONEMODE_UNKNOWN, "-------- UNKNOWN", "ModemStatusDialTone"},
    {LINEDIALTONEMODE_UNAVAIL, "-------- UNAVAIL", "ModemStatusDialTone"},
};

const Row kBusyModes[] = {
    {LINEBUSYMODE_STATION, "-------- STATION", nullptr},
    {LINEBUSYMODE_TRUNK, "-------- TRUNK", nullptr},
    {LINEBUSYMODE_UNKNOWN, "-------- UNKNOWN", nullptr},
    {LINEBUSYMODE_UNAVAIL, "-------- UNAVAILABLE", nullptr},
};

const Row kDisconnectModes[] = {
    {LINEDISCONNECTMODE_NORMAL, "-------- NORMAL", "ModemStatusDisconnectedNormal"},
    {LINEDISCONNECTMODE_UNKNOWN, "-------- UNKNOWN", "ModemStatusDisconnectedUnkown"},
    {LINEDISCONNECTMODE_REJECT, "-------- REJECT", "ModemStatusDisconenctedRejected"},
    {LINEDISCONNECTMODE_PICKUP, "-------- PICKUP", "ModemStatusDisconnected"},
    {LINEDISCONNECTMODE_FORWARDED, "-------- FORWARDED", "ModemStatusDisconnected"},
    {LINEDISCONNECTMODE_BUSY, "-------- BUSY", "ModemStatusDisconnectedBusy"},
    {LINEDISCONNECTMODE_NOANSWER, "-------- NO ANSWER", "ModemStatusDisconnectedNoAnswer"},
    {LINEDISCONNECTMODE_BADADDRESS, "-------- BAD ADDRESS", "ModemStatusDisconnected"},
    {LINEDISCONNECTMODE_UNREACHABLE, "-------- UNREACHABLE", "ModemStatusDisconnected"},
    {LINEDISCONNECTMODE_CONGESTION, "-------- CONGESTION", "ModemStatusDisconnected"},
    {LINEDISCONNECTMODE_INCOMPATIBLE, "-------- INCOMPATIBLE", "ModemStatusDisconnected"},
    {LINEDISCONNECTMODE_UNAVAIL, "-------- UNAVAIL", "ModemStatusDisconnected"},
    {LINEDISCONNECTMODE_NODIALTONE, "-------- NO DIALTONE", "ModemStatusDisconnectedNoDialTone"},
};

template <size_t N>
const Row* Find(const Row (&rows)[N], uint32_t value)
{
    for (const Row& r : rows)
        if (r.value == value) return &r;
    return nullptr;
}

// Logs the row of the value and reports its id; nothing for a value the
// table doesn't hold.
template <size_t N>
const Row* Announce(const Row (&rows)[N], uint32_t value)
{
    const Row* r = Find(rows, value);
    if (!r) return nullptr;
    TLOG(TLOG_NDIAG, "%s", r->log);
    if (r->report) Report(r->report);
    return r;
}

void CallState(uint32_t handle, uintptr_t state, uintptr_t detail, uintptr_t privilege)
{
    if (Announce(kPrivileges, (uint32_t)privilege) && privilege == LINECALLPRIVILEGE_OWNER) s_call = handle;
    if (!Announce(kStates, (uint32_t)state)) return;
    switch (state) {
    case LINECALLSTATE_OFFERING: {
        int32_t e = lineAnswer(s_call, nullptr, 0);
        if (e < 0) MODEM_LogError((uint32_t)e);
        break;
    }
    case LINECALLSTATE_DIALTONE: Announce(kDialToneModes, (uint32_t)detail); break;
    case LINECALLSTATE_BUSY: Announce(kBusyModes, (uint32_t)detail); break;
    case LINECALLSTATE_CONNECTED: s_status = 3; break;
    case LINECALLSTATE_DISCONNECTED:
        Announce(kDisconnectModes, (uint32_t)detail);
        s_status = 2;
        break;
    default: break;
    }
}

const struct {
    uint32_t code;
    const char* text;
} kErrorTexts[] = {
    {LINEERR_ALLOCATED, "The line is already in use."},
    {LINEERR_BADDEVICEID, "No line device has this index."},
    {LINEERR_INCOMPATIBLEAPIVERSION, "The line library does not offer the version asked for."},
    {LINEERR_INVALAPPHANDLE, "The application is not registered with the line library."},
    {LINEERR_INVALCALLHANDLE, "The call handle is not valid."},
    {LINEERR_INVALCALLSTATE, "The call is not in a state that allows this operation."},
    {LINEERR_INVALDEVICECLASS, "The line has no device of this class."},
    {LINEERR_INVALLINEHANDLE, "The line handle is not valid."},
    {LINEERR_INVALMEDIAMODE, "The line device is not a data modem."},
    {LINEERR_INVALPOINTER, "A record is missing or too small."},
    {LINEERR_OPERATIONFAILED, "The operation failed for an unspecified or unknown reason."},
    {LINEERR_OPERATIONUNAVAIL, "The line library does not offer this operation."},
    {LINEERR_UNINITIALIZED, "The line library is not initialised."},
};

} // namespace

int MODEM_Init(MODEM_DEVICE_CALLBACK devices)
{
    if (s_initialised) {
        TLOG(TLOG_NDIAG, "MODEM_already initialised");
        return 1;
    }
    HLINEAPP app = 0;
    uint32_t count = 0;
    int32_t e = lineInitialize(&app, nullptr, MODEM_LineCallback, kAppName, &count);
    if (e < 0) {
        MODEM_LogError((uint32_t)e);
        return 0;
    }
    s_app = app;
    s_devices = count;
    TLOG(TLOG_NDIAG, "TAPI initialised");
    TLOG(TLOG_NDIAG, "number of devices:    %d", (int)count);
    for (uint32_t d = 0; d < count; d++) {
        uint32_t version;
        LINEDEVCAPS* caps = MODEM_GetDevCaps(app, d, &version);
        if (!caps) continue;
        if ((caps->mediaModes & LINEMEDIAMODE_DATAMODEM) && (caps->bearerModes & LINEBEARERMODE_VOICE) && devices)
            devices(d, LineName(caps), caps->maxRate);
        TLOG(TLOG_NDIAG, "Device %d : %s\n", (int)d, LineName(caps));
        TLOG(TLOG_NDIAG, "  Modes:    %s ", FlagNames(kBearerNames, caps->bearerModes).c_str());
        TLOG(TLOG_NDIAG, "  Max Rate: %d bps", (int)caps->maxRate);
        TLOG(TLOG_NDIAG, "  Media:    %s ", FlagNames(kMediaNames, caps->mediaModes).c_str());
        free(caps);
    }
    s_initialised = 1;
    s_status = 1;
    return 1;
}

int MODEM_Close(void)
{
    if (!s_initialised) return 1;
    TLOG(TLOG_DIAG, "MODEM Shutting Down");
    MODEM_Disconnect();
    lineShutdown(s_app);
    s_initialised = 0;
    s_status = 0;
    s_report = nullptr;
    s_line = 0;
    s_call = 0;
    return 1;
}

int MODEM_dial(uint32_t device, const char* number)
{
    if (!s_initialised) {
        TLOG(TLOG_NWARN, "call to MODEM_dial without initialising");
        return 0;
    }
    uint32_t version;
    LINEDEVCAPS* caps = DataModem(device, &version);
    if (!caps) return 0;
    TLOG(TLOG_NDIAG, "Dialing ... %s via %s", number ? number : "", LineName(caps));
    free(caps);
    if (!OpenLine(device, version, LINECALLPRIVILEGE_NONE)) return 0;
    LINECALLPARAMS params;
    memset(&params, 0, sizeof params);
    params.totalSize = 176;
    params.minRate = 9600;
    params.maxRate = 57600;
    params.mediaMode = LINEMEDIAMODE_DATAMODEM;
    HCALL call = 0;
    int32_t e = lineMakeCall(s_line, &call, number ? number : "", 0, &params);
    if (e < 0) return Refused(e, 1);
    s_call = call;
    return 1;
}

int MODEM_Answer(uint32_t device)
{
    if (!s_initialised) {
        TLOG(TLOG_NWARN, "call to MODEM_Answer without initialising");
        return 0;
    }
    uint32_t version;
    LINEDEVCAPS* caps = DataModem(device, &version);
    if (!caps) return 0;
    TLOG(TLOG_NDIAG, "Answering ... %s", LineName(caps));
    free(caps);
    return OpenLine(device, version, LINECALLPRIVILEGE_OWNER);
}

uint32_t MODEM_GetStatus(void) { return s_status; }

int MODEM_Connect(void)
{
    if (!s_initialised) {
        TLOG(TLOG_NWARN, "call to MODEM_Connect without initialising");
        return 0;
    }
    TLOG(TLOG_NDIAG, "Connection Established");
    VARSTRING* id = Fetched<VARSTRING>(24, [](VARSTRING* v) {
        return lineGetID(s_line, 0, s_call, LINECALLSELECT_CALL, v, "comm/datamodem");
    });
    if (!id) return 0;
    if (id->stringSize < 5 || id->stringOffset + id->stringSize > id->usedSize) {
        TLOG(TLOG_NERR, "The line gave no data channel");
        free(id);
        return 0;
    }
    const uint8_t* v = (const uint8_t*)id + id->stringOffset;
    uint32_t handle;
    memcpy(&handle, v, 4);
    std::string name((const char*)v + 4, strnlen((const char*)v + 4, id->stringSize - 4));
    free(id);
    TLOG(TLOG_DIAG, "Device ID: %s", name.c_str());
    TLOG(TLOG_DIAG, "Handle   : %d", (int)handle);
    LINECALLINFO* info = MODEM_GetCallInfo(s_call);
    TLOG(TLOG_DIAG, "Connection Speed : %d", info ? (int)info->rate : 0);
    free(info);
    COMM_SetModemHandle((int)handle);
    s_status = 4;
    return 1;
}

int MODEM_Disconnect(void)
{
    TLOG(TLOG_DIAG, "MODEM Disconnecting");
    if (!s_initialised) {
        TLOG(TLOG_NWARN, "call to MODEM_Disconnect without initialising");
        return 0;
    }
    if (s_status == 3 || s_status == 4) {
        int32_t e = lineDrop(s_call, nullptr, 0);
        s_status = 2;
        if (e < 0) {
            TLOG(TLOG_NERR, "Error attempting to drop the line");
            MODEM_LogError((uint32_t)e);
        }
    }
    if (s_status == 2) {
        int32_t e = lineClose(s_line);
        s_line = 0;
        s_call = 0;
        s_status = 1;
        if (e < 0) {
            TLOG(TLOG_NERR, "Error attempting to close the line");
            MODEM_LogError((uint32_t)e);
            return 0;
        }
    }
    return 1;
}

void MODEM_MessageRegister(MODEM_STATUS_CALLBACK callback)
{
    if (!s_initialised) {
        TLOG(TLOG_NWARN, "call to MODEM_MessageRegister without initialising");
        return;
    }
    s_report = callback;
}

const char* MODEM_ErrorText(uint32_t code)
{
    for (const auto& t : kErrorTexts)
        if (t.code == code) return t.text;
    return "Unknown TAPI error code";
}

void MODEM_LogError(uint32_t code) { TLOG(TLOG_NERR, "TAPI ERROR: %d : %s", (int)code, MODEM_ErrorText(code)); }

LINEDEVCAPS* MODEM_GetDevCaps(HLINEAPP app, uint32_t device, uint32_t* version)
{
    uint32_t ext = 0;
    int32_t e = lineNegotiateAPIVersion(app, device, LINE_API_VERSION, LINE_API_VERSION, version, &ext);
    if (e < 0) {
        MODEM_LogError((uint32_t)e);
        return nullptr;
    }
    uint32_t v = *version;
    return Fetched<LINEDEVCAPS>(252, [&](LINEDEVCAPS* c) { return lineGetDevCaps(app, device, v, 0, c); });
}

LINECALLINFO* MODEM_GetCallInfo(HCALL call)
{
    return Fetched<LINECALLINFO>(324, [&](LINECALLINFO* i) { return lineGetCallInfo(call, i); });
}

void MODEM_LineCallback(uint32_t device, uint32_t message, uintptr_t, uintptr_t param1, uintptr_t param2,
                        uintptr_t param3)
{
    if (message == LINE_CALLSTATE) {
        TLOG(TLOG_NDIAG, "msg LINE_CALLSTATE");
        CallState(device, param1, param2, param3);
        return;
    }
    // Phone messages are not ours to hear.
    if (const Row* r = Find(kMessages, message)) TLOG(TLOG_NDIAG, "%s", r->log);
}

void MODEM_ResetLoader(void)
{
    s_libraryTried = 0;
    s_library = nullptr;
    memset(s_resolved, 0, sizeof s_resolved);
    memset(s_entries, 0, sizeof s_entries);
}
