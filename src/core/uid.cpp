// Unique ids.
//
// The counter stops at INT32_MAX instead of wrapping: a wrapped counter
// would hand out ids that are still in use, which corrupts whatever looks
// objects up by id. Running out is therefore fatal.
#include "core/uid.h"

#include <cstdint>

#include "core/error.h"

static int32_t s_NextUid = 1;

int32_t Uid_Next(void)
{
    if (s_NextUid == INT32_MAX) ERR_FATAL(ERRC_FATAL, "Unique ids exhausted");
    return s_NextUid++;
}

int32_t Uid_Reserve(int32_t id)
{
    if (id >= s_NextUid) s_NextUid = id == INT32_MAX ? INT32_MAX : id + 1;
    return id;
}

int32_t Uid_Get(void)
{
    return s_NextUid;
}

void Uid_Set(int32_t value)
{
    s_NextUid = value < 1 ? 1 : value;
}

void Uid_Reset(void)
{
    s_NextUid = 1;
}
