// Player orders: the recording file and its playback.
//
// The file is a sequence of records, one for each update that executed
// orders: u32 update number, u16 order count, then the orders as entries of
// the order codec. Nothing else: no header. Update numbers never go down (an
// update with more than 65535 orders takes several records).
//
// The recording is written straight to its file and flushed after every
// record, so that a game that crashes leaves the recording of everything up
// to the crash (that is when a recording is wanted most). A failed write
// stops the recording without touching the game; what was written stays.
//
// Playback reads and checks the whole file before the first update: a file
// that is truncated or malformed anywhere is refused with its name, the offset
// and the reason, and nothing of it is played. The records are kept decoded
// and handed out update by update.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "core/frame.h"
#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "units/orders.h"
#include "units/ordersint.h"

enum {
    REC_HEADER = 6,                          // u32 update, u16 count
    REC_MAXCOUNT = 65535,
    REC_MAXENTRY = ORDER_ENTRY_HEADER + 4 * ORDER_MAXSELECTION,
};

static FILE* s_rec;
static std::string s_recName;

struct PLAYRECORD {
    uint32_t update;
    ORDERQUEUE orders;
};

static std::vector<PLAYRECORD> s_play;
static size_t s_playAt;
static int s_playing;
static int s_playDoneLogged;

// ------------------------------------------------------------------ recording

int Orders_StartRecording(const char* path)
{
    Orders_StopRecording();
    s_rec = Fs_Open(path, "wb");
    if (s_rec == nullptr) {
        TLOG(TLOG_ERROR, "Cannot record orders to %s", Fs_Resolve(path).c_str());
        return 0;
    }
    s_recName = path;
    TLOG(TLOG_DIAG, "Recording orders to %s", Fs_Resolve(path).c_str());
    return 1;
}

void Orders_StopRecording(void)
{
    if (s_rec == nullptr) return;
    if (fclose(s_rec) != 0)
        TLOG(TLOG_ERROR, "Order recording %s could not be completed", s_recName.c_str());
    s_rec = nullptr;
}

int Orders_IsRecording(void) { return s_rec != nullptr; }

void Orders_RecordPlayerLeft(int team)
{
    if (s_rec == nullptr) return;
    ORDERQUEUE left = {nullptr, nullptr, 0};
    Orders_QueueAppend(&left, Orders_NewNode(QPLAYERLEFT, 0, team));
    Orders_RecordExecuted(&left);
    Orders_QueueFree(&left);
}

static void PutRecordHeader(std::vector<uint8_t>* out, uint32_t update, uint32_t count)
{
    for (int b = 0; b < 4; b++) out->push_back((uint8_t)(update >> (8 * b)));
    out->push_back((uint8_t)count);
    out->push_back((uint8_t)(count >> 8));
}

// A copy of a node, so that packing (which takes ids off a unit list) leaves
// the executed node as it is.
static ORDERREC* CopyNode(const ORDERREC* n)
{
    ORDERREC* copy = Orders_NewNode(n->code, n->length, n->team);
    if (n->code == QADDSELECTED) Units_ListCopy(&copy->list, &n->list);
    else memcpy(copy->payload, n->payload, ORDER_PAYLOAD);
    return copy;
}

void Orders_RecordExecuted(const ORDERQUEUE* executed)
{
    if (s_rec == nullptr) return;
    for (const ORDERREC* n = executed->head; n != nullptr; n = n->next)
        Orders_QueueAppend(&g_OrdersRecorded, CopyNode(n));
    std::vector<uint8_t> entries, file;
    uint32_t count = 0;
    auto flush = [&]() {
        PutRecordHeader(&file, g_UpdateCount, count);
        file.insert(file.end(), entries.begin(), entries.end());
        entries.clear();
        count = 0;
    };
    uint8_t buf[REC_MAXENTRY];
    while (ORDERREC* n = Orders_QueuePop(&g_OrdersRecorded)) {
        int whole = 0;
        while (!whole) {
            size_t used = Orders_PackEntry(n, buf, sizeof buf, &whole);
            entries.insert(entries.end(), buf, buf + used);
            if (++count == REC_MAXCOUNT) flush();
        }
        Orders_FreeNode(n);
    }
    if (count) flush();
    if (fwrite(file.data(), 1, file.size(), s_rec) != file.size() || fflush(s_rec) != 0) {
        TLOG(TLOG_ERROR, "Order recording %s failed at update %u; recording stopped",
             s_recName.c_str(), g_UpdateCount);
        Orders_StopRecording();
    }
}

// ------------------------------------------------------------------ playback

static void FreeRecords(std::vector<PLAYRECORD>* records)
{
    for (PLAYRECORD& r : *records) Orders_QueueFree(&r.orders);
    records->clear();
}

int Orders_ParseRecording(const uint8_t* data, size_t size, const char* name)
{
    FreeRecords(&s_play);
    s_playAt = 0;
    s_playDoneLogged = 0;
    std::vector<PLAYRECORD> records;
    char reason[160] = "";
    size_t at = 0, failat = 0;
    while (at < size && !reason[0]) {
        if (size - at < REC_HEADER) {
            snprintf(reason, sizeof reason, "truncated record header: %zu of %d bytes", size - at,
                     (int)REC_HEADER);
            failat = at;
            break;
        }
        PLAYRECORD r = {Bytes_U32(data + at), {nullptr, nullptr, 0}};
        uint32_t count = Bytes_U16(data + at + 4);
        if (!records.empty() && r.update < records.back().update) {
            snprintf(reason, sizeof reason, "update %u comes after update %u", r.update,
                     records.back().update);
            failat = at;
            break;
        }
        if (count == 0) {
            snprintf(reason, sizeof reason, "record of update %u has no orders", r.update);
            failat = at + 4;
            break;
        }
        at += REC_HEADER;
        for (uint32_t i = 0; i < count; i++) {
            ORDERREC* node;
            char err[120];
            size_t used = Orders_UnpackEntry(data + at, size - at, &node, err, sizeof err);
            if (used == 0) {
                snprintf(reason, sizeof reason, "order %u of update %u: %s", i + 1, r.update, err);
                failat = at;
                break;
            }
            Orders_QueueAppend(&r.orders, node);
            at += used;
        }
        records.push_back(r);
    }
    if (reason[0]) {
        TLOG(TLOG_ERROR, "%s: offset %zu: %s", name, failat, reason);
        FreeRecords(&records);
        return 0;
    }
    s_play = std::move(records);
    return 1;
}

int Orders_StartPlayback(const char* path)
{
    Orders_StopPlayback();
    std::string bytes;
    if (!Fs_ReadAll(path, &bytes)) {
        TLOG(TLOG_ERROR, "Cannot read the order playback file %s", Fs_Resolve(path).c_str());
        return 0;
    }
    if (!Orders_ParseRecording((const uint8_t*)bytes.data(), bytes.size(), path)) return 0;
    s_playing = 1;
    Game_SetPlayback(1);
    TLOG(TLOG_DIAG, "Playing back %zu updates of orders from %s", s_play.size(),
         Fs_Resolve(path).c_str());
    return 1;
}

void Orders_StopPlayback(void)
{
    FreeRecords(&s_play);
    s_playAt = 0;
    if (!s_playing) return;
    s_playing = 0;
    Game_SetPlayback(0);
}

int Orders_IsPlayingBack(void) { return s_playing; }

void Orders_TakePlayback(uint32_t update, ORDERQUEUE* out)
{
    // Records of updates already past can only come from a recording of
    // another start; they are reported, not executed late.
    while (s_playAt < s_play.size() && s_play[s_playAt].update < update) {
        TLOG(TLOG_WARNING, "Order playback: the orders of update %u come too late (update %u)",
             s_play[s_playAt].update, update);
        Orders_QueueFree(&s_play[s_playAt++].orders);
    }
    while (s_playAt < s_play.size() && s_play[s_playAt].update == update) {
        ORDERQUEUE* q = &s_play[s_playAt++].orders;
        while (ORDERREC* n = Orders_QueuePop(q)) Orders_QueueAppend(out, n);
    }
    if (s_playAt == s_play.size() && !s_playDoneLogged) {
        TLOG(TLOG_DIAG, "Order playback: the last recorded update has been played");
        s_playDoneLogged = 1;
    }
}
