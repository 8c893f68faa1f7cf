// Process entry: the engine.
#include "game/quorvex.h"

int main(void) { return Quorvex_Main(); }
