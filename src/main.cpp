// Process entry: the engine with the demo world as its game screen, or with
// the widget demonstration (--widgets) as its front end.
#include <cstring>

#include "demo/demoworld.h"
#include "demo/widgetdemo.h"
#include "game/quorvex.h"

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; i++)
        if (strcmp(argv[i], "--widgets") == 0) WidgetDemo_Install();
    DemoWorld_Install();
    int rc = Quorvex_Main();
    DemoWorld_Close();
    return rc;
}
