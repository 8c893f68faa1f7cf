// The monochrome debug screen.
//
// An 80 x 25 text screen for rates, profiling and the widget desktop's status
// line, kept as a text buffer; enabled by the configuration's SetMonoDisplay.
// Mono_Dump writes it to the trace log (MONO category).
#pragma once

enum { MONO_COLUMNS = 80, MONO_ROWS = 25 };

// Switches the screen on or off; writes while off are ignored.
void Mono_Enable(int on);
int Mono_Enabled(void);
// Puts one character; outside the screen is nothing to do.
void Mono_PutChar(int column, int row, char character);
// Writes text from (column, row) to the end of that row, clipped.
void Mono_PrintAt(int column, int row, const char* text);
// Moves the cursor to a row (clamped to the screen) and column 0.
void Mono_SetCursor(int row);
// printf at the cursor; a line break moves to the next row (scrolling).
void Mono_Printf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// Blanks the screen; the cursor goes to the top.
void Mono_Clear(void);
// The text of one row without trailing blanks ("" outside the screen).
const char* Mono_Row(int row);
// Logs every non-empty row (MONO category).
void Mono_Dump(void);
