// The widget demonstration's three layers (and its question popup) through
// the desktop's real loop, driven by arbitrary pointer moves, presses,
// releases, double clicks, keys (held ones give modifiers) and time: no
// crash, no assertion, every widget still there, the debug heap as it was,
// and in every field the text within its maximum length and the caret
// between its minimum and the text's end. Each input opens and closes the
// demonstration, so nothing carries over.

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/gamestate.h"
#include "core/utils.h"
#include "demo/widgetdemo.h"
#include "fuzzsupport.h"
#include "gen_widgets.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "support/passscript.h"
#include "widgets/qidesktop.h"
#include "widgets/qiedit.h"

enum { BYTES_PER_PASS = 4, MAX_PASSES = 400 };

static bool Setup(void)
{
    QvFuzz_Setup();
    Plat_InitWith(&g_PlatHeadless);
    PlatHeadless_UseVirtualClock(1);
    Cfg_SetDefaults(&g_Config);
    Video_Init();
    Input_Init();
    Str_CopySafe(g_DataDir, QvFuzz_Dir(), sizeof g_DataDir);
    const std::string dir = std::string(QvFuzz_Dir()) + "/" GENWIDGETS_DIR;
    mkdir(dir.c_str(), 0755);
    if (!GenWidgets_WriteAll(dir)) abort();
    return true;
}

// One pass's input from four bytes.
static const char* const kFields[] = {"WEditLeft", "WEditCentre", "WEditRight"};

// The field's text and caret within their bounds.
static void CheckFields(QIDesktop* d)
{
    for (const char* name : kFields) {
        QIEditBase* e = dynamic_cast<QIEditBase*>(d->FindByName(name));
        if (!e) abort();
        if ((int32_t)strlen(e->buffer) > e->maxLength) abort();
        if (!e->Editing()) continue;
        const int32_t len = QIEditBase::WorkingLength();
        if (len > e->maxLength) abort();
        if (e->caret > len || e->caret < 0 || (e->caret < e->minCaret && e->caret != len)) abort();
    }
}

static void Post(const uint8_t* b)
{
    const int x = b[1] * 5 / 2, y = b[2] * 15 / 8;
    PlatHeadless_Advance(b[3] % 100);
    switch (b[0] % 8) {
    case 0: Input_RawMouseMove(x, y); break;
    case 1: Input_RawMouseButton(0, 1); break;
    case 2: Input_RawMouseButton(0, 0); break;
    case 3: Input_RawMouseButton(1, 1); break;
    case 4: Input_RawMouseButton(1, 0); break;
    case 5: // a double click at (x, y)
        Input_RawMouseMove(x, y);
        Mouse_EnableDoubleClick(1);
        for (int i = 0; i < 2; i++) {
            Input_RawMouseButton(0, 1);
            Input_RawMouseButton(0, 0);
        }
        Mouse_EnableDoubleClick(0);
        break;
    case 6:
        Input_RawKey(b[1], 1, (int8_t)b[2]);
        // With the top bit the key stays down: a held control or shift.
        if (!(b[0] & 0x80)) Input_RawKey(b[1], 0, 0);
        break;
    default: PlatHeadless_Advance(b[1] * 4u); break;
    }
}

// Inputs as long as a whole page visit: unless told otherwise, the fuzzer
// would keep to its longest seed's length.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static std::vector<char*> args;
    for (int i = 0; i < *argc; i++)
        if (strncmp((*argv)[i], "-max_len=", 9) == 0) return 0;
    static char maxLen[32];
    snprintf(maxLen, sizeof maxLen, "-max_len=%d", BYTES_PER_PASS * MAX_PASSES);
    args.assign(*argv, *argv + *argc);
    // The flags go before any corpus directory, as libFuzzer reads them.
    args.insert(args.begin() + 1, maxLen);
    args.push_back(nullptr);
    *argc = (int)args.size() - 1;
    *argv = args.data();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = Setup();
    (void)ready;
    QvFuzzHeapCheck check;
    const size_t passes = size / BYTES_PER_PASS < MAX_PASSES ? size / BYTES_PER_PASS : MAX_PASSES;
    try {
        WidgetDemo_Open();
        QIDesktop* d = WidgetDemo_Desktop();
        const uint32_t count = d->count;
        {
            QvPassScript script((int)passes + 8);
            script.Wait(0, (int)passes);
            script.onPass = [&](int pass) {
                CheckFields(d);
                if ((size_t)pass < passes) Post(data + (size_t)pass * BYTES_PER_PASS);
            };
            d->Run();
            if (script.overran) abort(); // the loop didn't end
        }
        if (d->count != count) abort();
        WidgetDemo_Close();
    } catch (const QvFuzzFatal&) {
        abort(); // an assertion
    }
    Input_RawReleaseAll();
    Mouse_FlushEvents();
    KEY_EVENT k;
    while (Input_GetKeyEvent(&k)) {
    }
    g_GameState = GS_FRONTEND;
    return 0;
}
