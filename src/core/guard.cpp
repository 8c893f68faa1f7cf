#include "core/guard.h"

#include "core/error.h"

void Guard_Init(MODULE_GUARD* guard)
{
    if (guard->initialised) ERR_FATAL(ERRC_FATAL, "%s already initialised", guard->name);
    guard->initialised = 1;
}

void Guard_Close(MODULE_GUARD* guard)
{
    if (!guard->initialised) ERR_FATAL(ERRC_FATAL, "%s not initialised", guard->name);
    guard->initialised = 0;
}

void Guard_Require(const MODULE_GUARD* guard)
{
    if (!guard->initialised) ERR_FATAL(ERRC_FATAL, "%s not initialised", guard->name);
}
