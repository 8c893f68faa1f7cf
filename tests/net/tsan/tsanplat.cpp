// The platform services that the network-only build links without the
// platform layer: the system clock is the network's own, and the test
// environment's headless clock settings have no clock to act on.
#include "platform/plat.h"
#include "platform/thread.h"

uint32_t Plat_SystemMs(void) { return Thread_ClockMs(); }
void PlatHeadless_UseVirtualClock(int) {}
void PlatHeadless_SetClock(uint32_t, uint32_t) {}
// No window: no messages, always active (the modem's line messages still
// come through the pump's hook).
int Plat_PumpMessages(void) { return 1; }
int Plat_IsActive(void) { return 1; }
void Plat_Idle(void) {}
