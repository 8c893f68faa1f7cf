// The order module as the network rounds see it: pending orders packed with
// the codec, received entries unpacked into the incoming queue.
#include <cstring>

#include "net/quornet.h"
#include "platform/video.h"
#include "units/orders.h"

static int Peek(uint8_t* code, uint8_t* length)
{
    ORDERREC* head = Orders_QueueHead(&g_OrdersPending);
    if (!head) return 0;
    *code = head->code;
    *length = head->length;
    return 1;
}

static uint32_t PackHead(uint8_t* buf, uint32_t size, int* whole)
{
    ORDERREC* head = Orders_QueueHead(&g_OrdersPending);
    *whole = 0;
    if (!head) return 0;
    size_t n = Orders_PackEntry(head, buf, size, whole);
    if (n && *whole) Orders_FreeNode(Orders_QueuePop(&g_OrdersPending));
    return (uint32_t)n;
}

static uint32_t Unpack(const uint8_t* data, uint32_t size, void** order, int* team, char* err, size_t errsize)
{
    ORDERREC* node = nullptr;
    size_t n = Orders_UnpackEntry(data, size, &node, err, errsize);
    *order = node;
    *team = node ? node->team : -1;
    return node ? (uint32_t)n : 0;
}

static void Queue(void* order) { Orders_QueueAppend(&g_OrdersIncoming, (ORDERREC*)order); }
static void Discard(void* order) { Orders_FreeNode((ORDERREC*)order); }
static void Show(const char* text) { Display_Message("%s", text); }

static const QuorNetOrders s_table = {Peek, PackHead, Unpack, Queue, Discard, Show};

const QuorNetOrders* Orders_NetTable(void) { return &s_table; }
