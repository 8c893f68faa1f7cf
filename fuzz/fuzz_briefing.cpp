// Briefings of any bytes: the file is loaded, every section is wrapped at the
// six widths the pages use into a list, and the wrapper also runs on a line
// buffer of exactly its capacity. No line may pass 255 characters, and
// nothing may be written past a buffer (the address sanitizer watches the
// heap line buffer).
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "core/gamestate.h"
#include "fuzzsupport.h"
#include "gen_shellres.h"
#include "shell/shellbrf.h"
#include "shell/shellctl.h"
#include "shell/shellres.h"

static const uint32_t CHECK = SHELL_FOURCC('C', 'H', 'K', 'L');

static intptr_t CheckLine(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3, intptr_t p4)
{
    if ((message & 0xFFFF) == SM_ADDLINE && strlen((const char*)p1) > 255) abort();
    return Shell_ControlDefaultHandler(c, message, p1, p2, p3, p4);
}

// Font slot 0 with glyphs 0..6 pixels wide, from a library of our own.
static void Setup(void)
{
    static bool done;
    if (done) return;
    done = true;
    std::vector<uint8_t> row = {9};
    for (int code = 0; code < 256; code++) {
        row.insert(row.end(), code % 7, 0);
        row.push_back(9);
    }
    std::vector<uint8_t> font(8, 0);
    Bytes_PutU16(&font[4], (uint32_t)row.size());
    Bytes_PutU16(&font[6], 1);
    font.insert(font.end(), row.begin(), row.end());
    std::vector<uint8_t> index, data;
    Mkdata_ShellLibrary({{"font12", SHELLRES_FLT, Mkdata_ShellContainer(SHELLRES_FLT, {{SHELLRES_PIXL, font}})}},
                        &index, &data);
    std::string path = QvFuzz_WriteTemp(".rld", data.data(), data.size());
    QvFuzz_WriteTemp(".rli", index.data(), index.size());
    path.back() = 'i';
    Shell_MapResourceLibrary(path.c_str());
    Shell_InitControls();
    Shell_LoadFont(0, "font12");
    Shell_RegisterControlClass(CHECK, CheckLine, 0);
    snprintf(g_ScenarioDir, sizeof g_ScenarioDir, "%s", QvFuzz_Dir());
}

static void fuzz_Briefing(const uint8_t* data, size_t n)
{
    const char* path = QvFuzz_Path("quorvex.brf");
    FILE* f = fopen(path, "wb");
    if (!f) return;
    fwrite(data, 1, n, f);
    fclose(f);
    static const int WIDTHS[6] = {411, 370, 255, 235, 384, 400};
    SHELLCTL* list = Shell_CreateControl(CHECK, nullptr, 0, 0, 0, 10, 10, 0, 0, 0, 0);
    for (int section = -1; section < 10; section++)
        for (int w : WIDTHS) Shell_FillListFromBriefing("none", section, list, w);
    Shell_SendMessage(list, SM_DESTROY);
    // A small line buffer: capacity from the first byte.
    int capacity = 2 + (n ? data[0] % 40 : 0);
    char* line = (char*)malloc((size_t)capacity + 1);
    const char* p = Shell_BriefingText();
    for (int guard = 0; p && guard <= SHELL_BRIEFING_SIZE; guard++) {
        p = Shell_WrapLine(line, p, 0, 60, capacity);
        if (p && line[0] != SHELL_TOKEN && strlen(line) > (size_t)capacity) abort();
    }
    free(line);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Setup();
    QvFuzzHeapCheck check;
    QV_FUZZ_GUARD(fuzz_Briefing(data, size));
    return 0;
}
