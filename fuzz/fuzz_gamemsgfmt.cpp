// The message composer over any text and arguments: the first byte chooses
// how many arguments (low two bits) and which are strings (the next three);
// the strings are cut from the end of the input.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzzsupport.h"
#include "rules/gamemsg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzzHeapCheck check;
    if (size == 0) return 0;
    const int nargs = data[0] & 3;
    const std::string text((const char*)data + 1, size - 1);
    const std::string tail = text.substr(text.size() / 2);
    GAMEMSG_ARG args[3];
    for (int i = 0; i < nargs; i++)
        args[i] = (data[0] >> (2 + i)) & 1 ? GameMsg_Str(tail.c_str())
                                             : GameMsg_Int((int)(size * 2654435761u) ^ i);
    char out[GAMEMSG_STRLEN];
    memset(out, 0x55, sizeof out);
    int stray = GameMsg_Format(out, text.c_str(), args, nargs);
    if (strlen(out) >= GAMEMSG_STRLEN || stray < 0) __builtin_trap();
    return 0;
}
