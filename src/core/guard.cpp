#include "core/guard.h"

#include "core/error.h"

// A module used out of its order is a fault of the program, never of a file
// that a step under Error_Try reads.
#define GUARD_FATAL(...)                                                                           \
    do {                                                                                           \
        Error_SetUncatchable();                                                                    \
        ERR_FATAL(ERRC_FATAL, __VA_ARGS__);                                                        \
    } while (0)

void Guard_Init(MODULE_GUARD* guard)
{
    if (guard->initialised) GUARD_FATAL("%s already initialised", guard->name);
    guard->initialised = 1;
}

void Guard_Close(MODULE_GUARD* guard)
{
    if (!guard->initialised) GUARD_FATAL("%s not initialised", guard->name);
    guard->initialised = 0;
}

void Guard_Require(const MODULE_GUARD* guard)
{
    if (!guard->initialised) GUARD_FATAL("%s not initialised", guard->name);
}
