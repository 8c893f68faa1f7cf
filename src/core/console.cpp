// The debug console.
//
// State is one read line with a token cursor, a ring of the last printed
// lines and a small command table; the console is a developer's tool run
// from the game's own thread, so no locking is needed.
#include "core/console.h"

#include <cstdarg>
#include <cstring>
#include <climits>
#include <strings.h>

#include "core/fspath.h"
#include "core/utils.h"

namespace {

struct CONSOLE_ENTRY {
    char name[CONSOLE_NAME];
    CONSOLE_COMMAND fn;
};

FILE* s_in = nullptr;
FILE* s_out = nullptr;
FILE* s_tty = nullptr;  // opened once, on first use
int s_ttyTried = 0;

char s_prompt[CONSOLE_PROMPT + 1] = "> ";
char s_input[CONSOLE_INPUT + 1];
size_t s_cursor = 0;
char s_token[CONSOLE_INPUT + 1];
int s_haveToken = 0;

char s_lines[CONSOLE_HISTORY][CONSOLE_WIDTH + 1];
int s_lineCount = 0;
int s_lineFirst = 0;  // ring index of the oldest line

CONSOLE_ENTRY s_commands[CONSOLE_COMMANDS];
int s_commandCount = 0;

void OpenTerminal(void)
{
    if (s_ttyTried) return;
    s_ttyTried = 1;
    s_tty = Fs_Open("/dev/tty", "r+");
}

FILE* In(void)
{
    if (s_in) return s_in;
    OpenTerminal();
    return s_tty ? s_tty : stdin;
}

FILE* Out(void)
{
    if (s_out) return s_out;
    OpenTerminal();
    return s_tty ? s_tty : stdout;
}

int IsPrintable(int c)
{
    return c >= ' ' && c <= '~';
}

CONSOLE_ENTRY* FindCommand(const char* name)
{
    for (int i = 0; i < s_commandCount; i++) {
        if (strcasecmp(s_commands[i].name, name) == 0) return &s_commands[i];
    }
    return nullptr;
}

} // namespace

void Console_SetStreams(FILE* in, FILE* out)
{
    s_in = in;
    s_out = out;
}

void Console_SetPrompt(const char* text)
{
    Str_CopySafe(s_prompt, text, sizeof s_prompt);
}

const char* Console_Prompt(void)
{
    return s_prompt;
}

void Console_PrintLine(const char* text)
{
    if (!text) text = "";
    size_t n = strcspn(text, "\r\n");
    if (n > CONSOLE_WIDTH) n = CONSOLE_WIDTH;

    int slot = (s_lineFirst + s_lineCount) % CONSOLE_HISTORY;
    if (s_lineCount == CONSOLE_HISTORY) {
        slot = s_lineFirst;
        s_lineFirst = (s_lineFirst + 1) % CONSOLE_HISTORY;
    } else {
        s_lineCount++;
    }
    memcpy(s_lines[slot], text, n);
    s_lines[slot][n] = '\0';

    FILE* out = Out();
    fprintf(out, "%s\n", s_lines[slot]);
    fflush(out);
}

void Console_Printf(const char* fmt, ...)
{
    char line[CONSOLE_WIDTH + 1];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    Console_PrintLine(line);
}

int Console_LineCount(void)
{
    return s_lineCount;
}

const char* Console_Line(int index)
{
    if (index < 0 || index >= s_lineCount) return "";
    return s_lines[(s_lineFirst + index) % CONSOLE_HISTORY];
}

int Console_ReadLine(void)
{
    FILE* in = In();
    size_t kept = 0;
    int any = 0;
    int c;
    while ((c = fgetc(in)) != EOF) {
        any = 1;
        if (c == '\n') break;
        if (IsPrintable(c) && kept < CONSOLE_INPUT) s_input[kept++] = (char)c;
    }
    s_input[kept] = '\0';
    s_cursor = 0;
    s_token[0] = '\0';
    s_haveToken = 0;
    // A terminal's end of input (Ctrl-D) sticks otherwise.
    if (c == EOF) clearerr(in);
    return any;
}

const char* Console_Input(void)
{
    return s_input;
}

int Console_NextToken(void)
{
    const char* p = s_input + s_cursor;
    while (*p == ' ') p++;
    size_t n = 0;
    if (*p == '\0') {
        s_cursor = (size_t)(p - s_input);
        s_token[0] = '\0';
        s_haveToken = 0;
        return 0;
    }
    if (*p == '"') {
        p++;
        while (*p && *p != '"') s_token[n++] = *p++;
        if (*p == '"') p++;
    } else {
        while (*p && *p != ' ') s_token[n++] = *p++;
    }
    // The token is a part of the line, so it always fits.
    s_token[n] = '\0';
    s_cursor = (size_t)(p - s_input);
    s_haveToken = 1;
    return 1;
}

const char* Console_Token(void)
{
    return s_haveToken ? s_token : "";
}

int Console_TokenInt(void) { return Str_ToInt(Console_Token()); }

int Console_AddCommand(const char* name, CONSOLE_COMMAND fn)
{
    if (!name || !fn) return 0;
    char cut[CONSOLE_NAME];
    Str_CopySafe(cut, name, sizeof cut);
    CONSOLE_ENTRY* entry = FindCommand(cut);
    if (!entry) {
        if (s_commandCount == CONSOLE_COMMANDS) return 0;
        entry = &s_commands[s_commandCount++];
        Str_CopySafe(entry->name, cut, sizeof entry->name);
    }
    entry->fn = fn;
    return 1;
}

void Console_RemoveCommand(const char* name)
{
    if (!name) return;
    char cut[CONSOLE_NAME];
    Str_CopySafe(cut, name, sizeof cut);
    CONSOLE_ENTRY* entry = FindCommand(cut);
    if (!entry) return;
    *entry = s_commands[--s_commandCount];
}

void Console_ShowPrompt(void)
{
    FILE* out = Out();
    fputs(s_prompt, out);
    fflush(out);
}

void Console_Run(void)
{
    for (;;) {
        Console_ShowPrompt();
        if (!Console_ReadLine()) break;
        if (!Console_NextToken()) continue;
        const char* name = Console_Token();
        if (strcasecmp(name, "exit") == 0) break;
        CONSOLE_ENTRY* entry = FindCommand(name);
        if (!entry) {
            Console_Printf("Unknown command [%s]", name);
            continue;
        }
        entry->fn();
    }
}
