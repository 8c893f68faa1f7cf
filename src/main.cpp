// Process entry: the engine with the demo's test frame as its game screen.
#include "core/quorvex.h"
#include "demo/testframe.h"

int main()
{
    Demo_Install();
    int rc = Quorvex_Main();
    Demo_Close();
    return rc;
}
