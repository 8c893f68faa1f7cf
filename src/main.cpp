// Process entry: the engine, with the widget demonstration (--widgets) as
// its front end.
#include <cstring>

#include "demo/widgetdemo.h"
#include "game/quorvex.h"

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; i++)
        if (strcmp(argv[i], "--widgets") == 0) WidgetDemo_Install();
    return Quorvex_Main();
}
