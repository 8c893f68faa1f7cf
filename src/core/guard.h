// Module init/close guards.
//
// Every module has an init/close pair guarded by a flag; a repeated or
// premature call is fatal: "<Name> already initialised" / "<Name> not
// initialised".
#pragma once

struct MODULE_GUARD {
    const char* name;
    int initialised;
};

#define MODULE_GUARD_INIT(name) {name, 0}

// Marks the module initialised; fatal "%s already initialised" when it was.
void Guard_Init(MODULE_GUARD* guard);
// Marks the module closed; fatal "%s not initialised" when it wasn't.
void Guard_Close(MODULE_GUARD* guard);
// Fatal "%s not initialised" unless the module is initialised.
void Guard_Require(const MODULE_GUARD* guard);
