#include "core/mono.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/tlog.h"

static char s_screen[MONO_ROWS][MONO_COLUMNS + 1];
static int s_enabled = 0;
static int s_row = 0;
static int s_col = 0;

static void EnsureBlank(void)
{
    static int ready = 0;
    if (ready) return;
    ready = 1;
    Mono_Clear();
}

void Mono_Enable(int on)
{
    EnsureBlank();
    s_enabled = on ? 1 : 0;
}

int Mono_Enabled(void) { return s_enabled; }

void Mono_PutChar(int column, int row, char character)
{
    EnsureBlank();
    if (!s_enabled || column < 0 || column >= MONO_COLUMNS || row < 0 || row >= MONO_ROWS) return;
    s_screen[row][column] = (character >= 32 && character < 127) ? character : ' ';
}

void Mono_PrintAt(int column, int row, const char* text)
{
    for (int i = 0; text && text[i] && column + i < MONO_COLUMNS; i++)
        Mono_PutChar(column + i, row, text[i]);
}

void Mono_SetCursor(int row)
{
    s_row = row < 0 ? 0 : row >= MONO_ROWS ? MONO_ROWS - 1 : row;
    s_col = 0;
}

static void NewLine(void)
{
    s_col = 0;
    if (++s_row < MONO_ROWS) return;
    memmove(s_screen[0], s_screen[1], sizeof s_screen[0] * (MONO_ROWS - 1));
    memset(s_screen[MONO_ROWS - 1], ' ', MONO_COLUMNS);
    s_row = MONO_ROWS - 1;
}

void Mono_Printf(const char* fmt, ...)
{
    if (!s_enabled) return;
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    for (const char* p = buf; *p; p++) {
        if (*p == '\n' || s_col >= MONO_COLUMNS) NewLine();
        if (*p != '\n') Mono_PutChar(s_col++, s_row, *p);
    }
}

void Mono_Clear(void)
{
    for (auto& row : s_screen) {
        memset(row, ' ', MONO_COLUMNS);
        row[MONO_COLUMNS] = 0;
    }
    s_row = s_col = 0;
}

const char* Mono_Row(int row)
{
    static char line[MONO_COLUMNS + 1];
    EnsureBlank();
    line[0] = 0;
    if (row < 0 || row >= MONO_ROWS) return line;
    memcpy(line, s_screen[row], MONO_COLUMNS + 1);
    for (int i = MONO_COLUMNS - 1; i >= 0 && line[i] == ' '; i--) line[i] = 0;
    return line;
}

void Mono_Dump(void)
{
    for (int r = 0; r < MONO_ROWS; r++) {
        const char* text = Mono_Row(r);
        if (*text) TLOG(TLOG_MONO, "mono %2d: %s", r, text);
    }
}
