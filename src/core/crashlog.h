// The crash log "exception.log".
//
// On a fatal signal (segmentation fault, bus error, illegal instruction,
// arithmetic fault, abort) the handler appends the signal, the faulting
// address and the call stack to the crash log, then lets the signal end the
// process. Everything in the handler is async-signal-safe; symbols are left
// mangled for offline demangling. Not installed in sanitizer builds, whose
// own reports are better.
#pragma once

// Installs the handlers writing to path ("exception.log"); 1 when installed.
int Crashlog_Install(const char* path);
// Restores the default handlers.
void Crashlog_Remove(void);
