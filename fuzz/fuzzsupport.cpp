#include "fuzzsupport.h"

#include "core/error.h"
#include "core/tlog.h"

static void ThrowHook(int errclass, const char*) { throw QvFuzzFatal{errclass}; }

void QvFuzz_Setup(void)
{
    static bool done = false;
    if (done) return;
    done = true;
    Error_SetFatalHook(ThrowHook);
    Tlog_SetFile(nullptr);
    Tlog_SetErrorFile(nullptr);
}
