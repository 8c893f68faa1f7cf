#include "net/atline.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/frame.h"
#include "core/tlog.h"
#include "platform/thread.h"

namespace {

enum {
    REPLY_MAX = 64,   // longer replies are no reply of a modem: dropped whole
    NUMBER_MAX = 40,  // dial string
    WRITE_WAIT_MS = 1000,
};

// S12 is the escape guard time in fiftieths of a second.
const char kInitCommand[] = "ATS12=10\r";

struct Call {
    HCALL handle; // 0: none
    uint32_t state;
    uint32_t rate;
    int dataMode; // CONNECT seen: the line carries data, not replies
};

struct Line {
    int open;
    uint32_t device;
    int fd;
    int stopfd;
    uint32_t privileges;
    uintptr_t instance;
    THREAD* reader;
    char reply[REPLY_MAX];
    size_t replyLength;
    int replySpoilt; // too long or holding a NUL: dropped at its end
    Call call;
};

struct Message {
    HLINE line;
    uint32_t device, message;
    uintptr_t instance, param1, param2, param3;
};

std::vector<std::string> s_ports;
std::string s_unavailable;
// Silence around the escape; the modem's guard time is set to 200 ms.
uint32_t s_guardMs = 250;
int s_noDataModem = -1;

HLINEAPP s_app;
LINECALLBACK s_callback;
std::vector<Line> s_lines;
uint32_t s_callSerial;
std::mutex s_lock; // the lines' call and reply state and the queue
std::deque<Message> s_queue;

int32_t Err(uint32_t code) { return (int32_t)code; }

Line* LineOf(HLINE handle)
{
    if (!s_app || handle == 0 || handle > s_lines.size()) return nullptr;
    Line* l = &s_lines[handle - 1];
    return l->open ? l : nullptr;
}

Line* LineOfCall(HCALL handle)
{
    if (!s_app || handle == 0) return nullptr;
    Line* l = LineOf(handle & 0xFF);
    return l && l->call.handle == handle ? l : nullptr;
}

// Called with the lock held.
void Post(Line* l, uint32_t state, uint32_t detail, uint32_t privilege)
{
    l->call.state = state;
    s_queue.push_back({(HLINE)(l->device + 1), l->call.handle, LINE_CALLSTATE, l->instance, state, detail, privilege});
}

int CallActive(const Call* c)
{
    return c->handle && c->state != LINECALLSTATE_IDLE && c->state != LINECALLSTATE_DISCONNECTED;
}

struct Ending {
    const char* text;
    uint32_t mode;
};

const Ending kEndings[] = {
    {"BUSY", LINEDISCONNECTMODE_BUSY},
    {"NO ANSWER", LINEDISCONNECTMODE_NOANSWER},
    {"NO DIALTONE", LINEDISCONNECTMODE_NODIALTONE},
    {"NO CARRIER", LINEDISCONNECTMODE_NORMAL},
    {"ERROR", LINEDISCONNECTMODE_BADADDRESS},
};

// One complete reply of the modem, with the lock held.
void Reply(Line* l, const char* text)
{
    Call* c = &l->call;
    if (strcmp(text, "RING") == 0) {
        // Later rings of the same call, and every ring on a line that doesn't
        // own its calls, change nothing.
        if (!(l->privileges & LINECALLPRIVILEGE_OWNER) || CallActive(c)) return;
        c->handle = ((++s_callSerial & 0xFFFFFF) << 8) | (l->device + 1);
        c->rate = 0;
        c->dataMode = 0;
        Post(l, LINECALLSTATE_OFFERING, 0, LINECALLPRIVILEGE_OWNER);
        return;
    }
    if (strncmp(text, "CONNECT", 7) == 0 && (text[7] == 0 || text[7] == ' ')) {
        if (!CallActive(c) || c->state == LINECALLSTATE_OFFERING) return;
        uint32_t rate = 0;
        for (const char* p = text + 8; text[7] && *p >= '0' && *p <= '9' && rate < 100000000; p++)
            rate = rate * 10 + (uint32_t)(*p - '0');
        c->rate = rate;
        c->dataMode = 1;
        Post(l, LINECALLSTATE_CONNECTED, 0, 0);
        return;
    }
    for (const Ending& e : kEndings) {
        if (strcmp(text, e.text) != 0) continue;
        if (!CallActive(c) || c->dataMode) return;
        uint32_t mode = e.mode;
        // A dial string the modem refuses is a bad address; other errors
        // answer commands, not calls.
        if (mode == LINEDISCONNECTMODE_BADADDRESS &&
            c->state != LINECALLSTATE_DIALING && c->state != LINECALLSTATE_PROCEEDING)
            return;
        // No carrier before the call was up: the far modem never came.
        if (mode == LINEDISCONNECTMODE_NORMAL) mode = LINEDISCONNECTMODE_UNAVAIL;
        Post(l, LINECALLSTATE_DISCONNECTED, mode, 0);
        return;
    }
}

// With the lock held; 1 when the line went to data mode.
int Feed(Line* l, uint8_t byte)
{
    if (l->call.dataMode) return 1;
    if (byte == '\r' || byte == '\n') {
        if (l->replyLength > 0 && !l->replySpoilt) {
            l->reply[l->replyLength] = 0;
            Reply(l, l->reply);
        }
        l->replyLength = 0;
        l->replySpoilt = 0;
        return l->call.dataMode;
    }
    if (byte == 0 || l->replyLength + 1 >= REPLY_MAX) l->replySpoilt = 1;
    else l->reply[l->replyLength++] = (char)byte;
    return 0;
}

void ReaderThread(void* arg)
{
    Line* l = (Line*)arg;
    int failing = 0;
    for (;;) {
        pollfd p[2] = {{l->stopfd, POLLIN, 0}, {l->fd, POLLIN, 0}};
        int n = poll(p, 2, -1);
        if (n < 0 && errno == EINTR) continue;
        if (p[0].revents) return;
        // One byte at a time: the bytes after CONNECT belong to the data
        // channel's next owner.
        uint8_t byte;
        ssize_t k = read(l->fd, &byte, 1);
        if (k < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        if (k <= 0) {
            // The modem is gone (the far end of a pty closed): a call on it
            // is over. Keep polling, slowly, until the line is closed.
            {
                std::lock_guard<std::mutex> g(s_lock);
                if (!failing) TLOG(TLOG_NERR, "Modem on %s does not answer", s_ports[l->device].c_str());
                if (CallActive(&l->call) && !l->call.dataMode)
                    Post(l, LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_UNAVAIL, 0);
            }
            failing = 1;
            pollfd stop = {l->stopfd, POLLIN, 0};
            if (poll(&stop, 1, 50) > 0) return;
            continue;
        }
        failing = 0;
        std::lock_guard<std::mutex> g(s_lock);
        if (Feed(l, byte)) return;
    }
}

void StartReader(Line* l)
{
    l->replyLength = 0;
    l->replySpoilt = 0;
    l->reader = Thread_Create(ReaderThread, l);
}

void StopReader(Line* l)
{
    if (!l->reader) return;
    uint64_t one = 1;
    if (write(l->stopfd, &one, sizeof one) < 0) TLOG(TLOG_NERR, "Could not stop the modem's reader");
    Thread_Join(l->reader);
    l->reader = nullptr;
    uint64_t drain;
    while (read(l->stopfd, &drain, sizeof drain) > 0) {
    }
}

int WriteText(int fd, const char* text)
{
    size_t n = strlen(text), done = 0;
    while (done < n) {
        ssize_t k = write(fd, text + done, n - done);
        if (k > 0) {
            done += (size_t)k;
            continue;
        }
        if (k < 0 && errno != EAGAIN && errno != EINTR) return 0;
        pollfd p = {fd, POLLOUT, 0};
        if (poll(&p, 1, WRITE_WAIT_MS) <= 0) return 0;
    }
    return 1;
}

// Puts the modem on hook: in data mode through the escape first.
void HangUp(Line* l)
{
    int data;
    {
        std::lock_guard<std::mutex> g(s_lock);
        data = l->call.dataMode;
    }
    if (data) {
        Thread_Sleep(s_guardMs);
        WriteText(l->fd, "+++");
        Thread_Sleep(s_guardMs);
    }
    WriteText(l->fd, "ATH\r");
}

void PurgeQueue(HLINE line)
{
    for (auto it = s_queue.begin(); it != s_queue.end();)
        it = it->line == line ? s_queue.erase(it) : it + 1;
}

int32_t LineInitialize(HLINEAPP* app, void*, LINECALLBACK callback, const char*, uint32_t* devices)
{
    if (!app || !callback || !devices) return Err(LINEERR_INVALPOINTER);
    if (s_app) return Err(LINEERR_OPERATIONFAILED);
    s_app = *app = 1;
    s_callback = callback;
    s_lines.assign(s_ports.size(), Line{});
    for (size_t i = 0; i < s_lines.size(); i++) {
        s_lines[i].device = (uint32_t)i;
        s_lines[i].fd = s_lines[i].stopfd = -1;
    }
    *devices = (uint32_t)s_ports.size();
    Game_SetMessageHook(ATLine_Pump);
    return 0;
}

int32_t LineClose(HLINE line)
{
    Line* l = LineOf(line);
    if (!l) return Err(LINEERR_INVALLINEHANDLE);
    int active;
    {
        std::lock_guard<std::mutex> g(s_lock);
        active = CallActive(&l->call);
    }
    if (active) HangUp(l);
    StopReader(l);
    close(l->fd);
    close(l->stopfd);
    std::lock_guard<std::mutex> g(s_lock);
    PurgeQueue(line);
    l->fd = l->stopfd = -1;
    l->call = Call{};
    l->open = 0;
    return 0;
}

int32_t LineShutdown(HLINEAPP app)
{
    if (!s_app || app != s_app) return Err(LINEERR_INVALAPPHANDLE);
    for (size_t i = 0; i < s_lines.size(); i++)
        if (s_lines[i].open) LineClose((HLINE)(i + 1));
    std::lock_guard<std::mutex> g(s_lock);
    s_queue.clear();
    s_lines.clear();
    s_app = 0;
    s_callback = nullptr;
    Game_SetMessageHook(nullptr);
    return 0;
}

int32_t CheckDevice(HLINEAPP app, uint32_t device)
{
    if (!s_app || app != s_app) return Err(LINEERR_INVALAPPHANDLE);
    if (device >= s_lines.size()) return Err(LINEERR_BADDEVICEID);
    return 0;
}

int32_t LineNegotiateAPIVersion(HLINEAPP app, uint32_t device, uint32_t low, uint32_t high, uint32_t* version,
                                uint32_t* extVersion)
{
    if (int32_t e = CheckDevice(app, device)) return e;
    if (!version || !extVersion) return Err(LINEERR_INVALPOINTER);
    if (low > LINE_API_VERSION || high < LINE_API_VERSION) return Err(LINEERR_INCOMPATIBLEAPIVERSION);
    *version = LINE_API_VERSION;
    *extVersion = 0;
    return 0;
}

uint32_t MediaModes(uint32_t device)
{
    return (int)device == s_noDataModem ? LINEMEDIAMODE_INTERACTIVEVOICE
                                        : LINEMEDIAMODE_DATAMODEM | LINEMEDIAMODE_INTERACTIVEVOICE;
}

int32_t LineGetDevCaps(HLINEAPP app, uint32_t device, uint32_t version, uint32_t, LINEDEVCAPS* caps)
{
    if (int32_t e = CheckDevice(app, device)) return e;
    if (version != LINE_API_VERSION) return Err(LINEERR_INCOMPATIBLEAPIVERSION);
    if (!caps || caps->totalSize < sizeof *caps) return Err(LINEERR_INVALPOINTER);
    const std::string& name = s_ports[device];
    uint32_t total = caps->totalSize;
    memset(caps, 0, sizeof *caps);
    caps->totalSize = total;
    caps->neededSize = (uint32_t)(sizeof *caps + name.size() + 1);
    caps->usedSize = sizeof *caps;
    caps->bearerModes = LINEBEARERMODE_VOICE;
    caps->maxRate = 57600;
    caps->mediaModes = MediaModes(device);
    if (caps->neededSize <= total) {
        memcpy((char*)caps + sizeof *caps, name.c_str(), name.size() + 1);
        caps->lineNameSize = (uint32_t)name.size() + 1;
        caps->lineNameOffset = sizeof *caps;
        caps->usedSize = caps->neededSize;
    }
    return 0;
}

int32_t LineOpen(HLINEAPP app, uint32_t device, HLINE* line, uint32_t version, uint32_t, uintptr_t instance,
                 uint32_t privileges, uint32_t mediaModes, const LINECALLPARAMS*)
{
    if (int32_t e = CheckDevice(app, device)) return e;
    if (!line) return Err(LINEERR_INVALPOINTER);
    if (version != LINE_API_VERSION) return Err(LINEERR_INCOMPATIBLEAPIVERSION);
    if (!(mediaModes & LINEMEDIAMODE_DATAMODEM) || !(MediaModes(device) & LINEMEDIAMODE_DATAMODEM))
        return Err(LINEERR_INVALMEDIAMODE);
    Line* l = &s_lines[device];
    if (l->open) return Err(LINEERR_ALLOCATED);
    const char* path = s_ports[device].c_str();
    int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        TLOG(TLOG_NERR, "Modem port %s: %s", path, strerror(errno));
        return Err(errno == EBUSY ? LINEERR_ALLOCATED : LINEERR_OPERATIONFAILED);
    }
    termios t;
    if (tcgetattr(fd, &t) != 0) {
        TLOG(TLOG_NERR, "Modem port %s is no terminal", path);
        close(fd);
        return Err(LINEERR_OPERATIONFAILED);
    }
    // Not shared: a second program on the modem is refused from now on.
    ioctl(fd, TIOCEXCL);
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&t, B57600);
    cfsetospeed(&t, B57600);
    tcsetattr(fd, TCSANOW, &t);
    tcflush(fd, TCIOFLUSH);
    int stopfd = eventfd(0, EFD_NONBLOCK);
    if (stopfd < 0 || !WriteText(fd, kInitCommand)) {
        TLOG(TLOG_NERR, "Modem on %s takes no command", path);
        if (stopfd >= 0) close(stopfd);
        close(fd);
        return Err(LINEERR_OPERATIONFAILED);
    }
    l->fd = fd;
    l->stopfd = stopfd;
    l->privileges = privileges;
    l->instance = instance;
    l->call = Call{};
    l->open = 1;
    StartReader(l);
    *line = (HLINE)(device + 1);
    return 0;
}

int ValidNumber(const char* number)
{
    size_t n = strlen(number);
    if (n == 0 || n > NUMBER_MAX) return 0;
    // Dial characters only: anything else could end the command early.
    return strspn(number, "0123456789*#,+-() TPWtpw!@") == n;
}

int32_t LineMakeCall(HLINE line, HCALL* call, const char* number, uint32_t, const LINECALLPARAMS*)
{
    Line* l = LineOf(line);
    if (!l) return Err(LINEERR_INVALLINEHANDLE);
    if (!call || !number) return Err(LINEERR_INVALPOINTER);
    if (!ValidNumber(number)) return Err(LINEERR_OPERATIONFAILED);
    // The call is dialling before the command goes: the modem's reply can
    // come before the write returns.
    HCALL handle;
    {
        std::lock_guard<std::mutex> g(s_lock);
        if (CallActive(&l->call)) return Err(LINEERR_INVALCALLSTATE);
        l->call = Call{};
        l->call.handle = handle = ((++s_callSerial & 0xFFFFFF) << 8) | (l->device + 1);
        Post(l, LINECALLSTATE_DIALING, 0, 0);
        Post(l, LINECALLSTATE_PROCEEDING, 0, 0);
    }
    std::string command = std::string("ATD") + number + "\r";
    if (!WriteText(l->fd, command.c_str())) {
        std::lock_guard<std::mutex> g(s_lock);
        l->call = Call{};
        PurgeQueue(line);
        return Err(LINEERR_OPERATIONFAILED);
    }
    *call = handle;
    return 0;
}

int32_t LineAnswer(HCALL call, const char*, uint32_t)
{
    Line* l = LineOfCall(call);
    if (!l) return Err(LINEERR_INVALCALLHANDLE);
    // Accepted before the command goes: CONNECT can come before the write
    // returns.
    {
        std::lock_guard<std::mutex> g(s_lock);
        if (l->call.state != LINECALLSTATE_OFFERING) return Err(LINEERR_INVALCALLSTATE);
        Post(l, LINECALLSTATE_ACCEPTED, 0, 0);
    }
    if (!WriteText(l->fd, "ATA\r")) {
        std::lock_guard<std::mutex> g(s_lock);
        l->call.state = LINECALLSTATE_OFFERING;
        PurgeQueue(ATLine_LineOf(l->device));
        return Err(LINEERR_OPERATIONFAILED);
    }
    return 0;
}

int32_t LineDrop(HCALL call, const char*, uint32_t)
{
    Line* l = LineOfCall(call);
    if (!l) return Err(LINEERR_INVALCALLHANDLE);
    HangUp(l);
    // The reader ended at CONNECT; the line reads replies again.
    StopReader(l);
    std::lock_guard<std::mutex> g(s_lock);
    l->call.dataMode = 0;
    Post(l, LINECALLSTATE_IDLE, 0, 0);
    StartReader(l);
    return 0;
}

int32_t LineGetID(HLINE, uint32_t, HCALL call, uint32_t select, VARSTRING* id, const char* deviceClass)
{
    if (select != LINECALLSELECT_CALL) return Err(LINEERR_INVALCALLHANDLE);
    Line* l = LineOfCall(call);
    if (!l) return Err(LINEERR_INVALCALLHANDLE);
    if (!id || !deviceClass || id->totalSize < sizeof *id) return Err(LINEERR_INVALPOINTER);
    if (strcmp(deviceClass, "comm/datamodem") != 0) return Err(LINEERR_INVALDEVICECLASS);
    {
        std::lock_guard<std::mutex> g(s_lock);
        if (!l->call.dataMode) return Err(LINEERR_INVALCALLSTATE);
    }
    // The reader ended itself at CONNECT; from here the bytes are the
    // channel's.
    StopReader(l);
    const std::string& name = s_ports[l->device];
    uint32_t total = id->totalSize;
    memset(id, 0, sizeof *id);
    id->totalSize = total;
    id->neededSize = (uint32_t)(sizeof *id + 4 + name.size() + 1);
    id->usedSize = sizeof *id;
    if (id->neededSize <= total) {
        uint8_t* v = (uint8_t*)id + sizeof *id;
        uint32_t fd = (uint32_t)l->fd;
        memcpy(v, &fd, 4);
        memcpy(v + 4, name.c_str(), name.size() + 1);
        id->stringFormat = 1;
        id->stringSize = (uint32_t)(4 + name.size() + 1);
        id->stringOffset = sizeof *id;
        id->usedSize = id->neededSize;
    }
    return 0;
}

int32_t LineGetCallInfo(HCALL call, LINECALLINFO* info)
{
    Line* l = LineOfCall(call);
    if (!l) return Err(LINEERR_INVALCALLHANDLE);
    if (!info || info->totalSize < sizeof *info) return Err(LINEERR_INVALPOINTER);
    uint32_t total = info->totalSize;
    memset(info, 0, sizeof *info);
    info->totalSize = total;
    info->neededSize = info->usedSize = sizeof *info;
    std::lock_guard<std::mutex> g(s_lock);
    info->rate = l->call.rate;
    info->mediaMode = LINEMEDIAMODE_DATAMODEM;
    info->bearerMode = LINEBEARERMODE_VOICE;
    return 0;
}

const struct {
    const char* name;
    void* entry;
} kExports[] = {
    {"lineAnswer", (void*)LineAnswer},
    {"lineClose", (void*)LineClose},
    {"lineDrop", (void*)LineDrop},
    {"lineGetCallInfo", (void*)LineGetCallInfo},
    {"lineGetDevCaps", (void*)LineGetDevCaps},
    {"lineGetID", (void*)LineGetID},
    {"lineInitialize", (void*)LineInitialize},
    {"lineMakeCall", (void*)LineMakeCall},
    {"lineNegotiateAPIVersion", (void*)LineNegotiateAPIVersion},
    {"lineOpen", (void*)LineOpen},
    {"lineShutdown", (void*)LineShutdown},
};

} // namespace

struct ATLINE_LIBRARY {
    int unused;
};

ATLINE_LIBRARY* ATLine_Load(void)
{
    static ATLINE_LIBRARY library;
    if (s_app) return &library; // loaded and in use: the ports stay
    s_ports.clear();
    std::string all = g_Config.modemports;
    size_t at = 0;
    while (at <= all.size()) {
        size_t end = all.find(';', at);
        if (end == std::string::npos) end = all.size();
        std::string port = all.substr(at, end - at);
        size_t first = port.find_first_not_of(" \t"), last = port.find_last_not_of(" \t");
        if (first != std::string::npos) s_ports.push_back(port.substr(first, last - first + 1));
        at = end + 1;
    }
    return s_ports.empty() ? nullptr : &library;
}

void* ATLine_Symbol(ATLINE_LIBRARY* library, const char* name)
{
    if (!library || !name || s_unavailable == name) return nullptr;
    for (const auto& e : kExports)
        if (strcmp(e.name, name) == 0) return e.entry;
    return nullptr;
}

void ATLine_Pump(void)
{
    for (;;) {
        Message m;
        LINECALLBACK callback;
        {
            std::lock_guard<std::mutex> g(s_lock);
            if (s_queue.empty() || !s_callback) return;
            m = s_queue.front();
            s_queue.pop_front();
            callback = s_callback;
        }
        callback(m.device, m.message, m.instance, m.param1, m.param2, m.param3);
    }
}

void ATLine_Receive(HLINE line, const uint8_t* bytes, size_t count)
{
    std::lock_guard<std::mutex> g(s_lock);
    Line* l = LineOf(line);
    if (!l) return;
    for (size_t i = 0; i < count; i++)
        if (Feed(l, bytes[i])) return;
}

HLINE ATLine_LineOf(uint32_t device) { return (HLINE)(device + 1); }

void ATLine_SetUnavailable(const char* name) { s_unavailable = name ? name : ""; }

void ATLine_SetNoDataModem(int device) { s_noDataModem = device; }

void ATLine_SetGuardMs(uint32_t ms) { s_guardMs = ms; }
