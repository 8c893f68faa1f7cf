#include "shell/shellbrf.h"

#include <cstdio>
#include <cstring>

#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/utils.h"
#include "shell/shellctl.h"

static char s_briefing[SHELL_BRIEFING_SIZE];

static const int WRAP_CAPACITY = 255;

void Shell_LoadBriefing(const char* name)
{
    memset(s_briefing, 0, sizeof s_briefing);
    char path[UTILS_PATH];
    Utils_MakePath(path, g_ScenarioDir, nullptr, nullptr, "quorvex", ".brf");
    FILE* f = Fs_Open(path, "rb");
    if (!f && name && *name) {
        Utils_MakePath(path, g_ScenarioDir, nullptr, nullptr, name, ".txt");
        f = Fs_Open(path, "rb");
    }
    if (!f) return;
    size_t n = fread(s_briefing, 1, SHELL_BRIEFING_MAX, f);
    fclose(f);
    memset(s_briefing + n, 0, 4);
}

const char* Shell_BriefingText(void) { return s_briefing; }

const char* Shell_FindBriefingSection(int n)
{
    if (n < 0 || n > 9) return nullptr;
    for (const char* p = s_briefing; *p; p++) {
        if (*p != '\\') continue;
        if (!p[1]) return nullptr;
        if (p[1] == '0' + n) return p + 2;
        p++; // the code byte is never itself a backslash that starts a code
    }
    return nullptr;
}

static void Token(char* out, char code)
{
    out[0] = SHELL_TOKEN;
    out[1] = code;
    out[2] = 0;
}

const char* Shell_NextWord(char* out, size_t capacity, const char* in)
{
    const unsigned char* p = (const unsigned char*)in;
    while (*p && *p < 33) p++;
    if (!*p) {
        Token(out, 'x');
        return (const char*)p;
    }
    size_t limit = capacity - 1 < (size_t)SHELL_WORD_MAX ? capacity - 1 : (size_t)SHELL_WORD_MAX;
    size_t n = 0;
    for (;;) {
        unsigned char b = *p;
        if (b < 33) {
            if (b) p++;
            break;
        }
        if (b == '\\') {
            if (p[1] == '\\') {
                if (n < limit) out[n++] = '\\';
                p += 2;
                continue;
            }
            if (n) break;
            Token(out, p[1] ? (char)p[1] : 'x');
            return (const char*)(p[1] ? p + 2 : p + 1);
        }
        if (n < limit) out[n++] = (char)b;
        p++;
    }
    out[n] = 0;
    return (const char*)p;
}

static int Width(int font, const char* text)
{
    int w = 0;
    Shell_MeasureText(font, text, &w, nullptr);
    return w;
}

const char* Shell_WrapLine(char* out, const char* in, int font, int width, int capacity)
{
    if (!in) return nullptr;
    if (capacity < 2) return nullptr; // no room for a token
    out[0] = 0;
    int len = 0, words = 0;
    const char* separator = "";
    char word[SHELL_WORD_MAX + 1];
    const char* pos = in;
    for (;;) {
        const char* next = Shell_NextWord(word, sizeof word, pos);
        if (word[0] == SHELL_TOKEN) {
            char code = word[1];
            if (code >= '0' && code <= '9') {
                if (words) return pos;
                Token(out, code);
                return next;
            }
            if (code == 'n') return next;
            if (code == 'c') {
                pos = next;
                continue;
            }
            if (code != 's' && code != 't') return words ? pos : nullptr;
            strcpy(word, " ");
            separator = "";
        }
        int sepLen = (int)strlen(separator), wordLen = (int)strlen(word);
        if (len + sepLen + wordLen > capacity) {
            if (words) return pos;
            wordLen = capacity; // alone and longer than a line: cut
            word[wordLen] = 0;
        }
        memcpy(out + len, separator, sepLen);
        memcpy(out + len + sepLen, word, wordLen + 1);
        if (words && Width(font, out) > width) {
            out[len] = 0;
            return pos;
        }
        len += sepLen + wordLen;
        words++;
        separator = wordLen && word[wordLen - 1] == '.' ? "  " : " ";
        pos = next;
    }
}

void Shell_FillListFromBriefing(const char* name, int n, SHELLCTL* list, int width)
{
    Shell_LoadBriefing(name);
    const char* pos = Shell_FindBriefingSection(n);
    if (!pos) pos = s_briefing;
    char line[WRAP_CAPACITY + 1];
    // Every call consumes at least one byte, so the text's length bounds it.
    for (int guard = 0; guard <= SHELL_BRIEFING_SIZE; guard++) {
        pos = Shell_WrapLine(line, pos, 0, width, WRAP_CAPACITY);
        if (!pos || line[0] == SHELL_TOKEN) return;
        Shell_SendMessage(list, SM_ADDLINE, (intptr_t)line);
    }
}
