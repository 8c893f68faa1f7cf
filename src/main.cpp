// Process entry: the engine with the demo world as its game screen.
#include "core/quorvex.h"
#include "demo/demoworld.h"

int main()
{
    DemoWorld_Install();
    int rc = Quorvex_Main();
    DemoWorld_Close();
    return rc;
}
