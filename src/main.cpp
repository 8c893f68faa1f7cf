// Process entry.
#include "core/quorvex.h"

int main() { return Quorvex_Main(); }
