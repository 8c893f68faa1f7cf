// The debug console.
//
// A line-based command prompt for developers: subsystems register commands
// by name (the computer players add theirs), Console_Run reads command lines
// and dispatches on the first token, and the command reads its arguments
// with Console_NextToken. It talks to the controlling terminal ("/dev/tty")
// because a game run redirects standard output into its run file; without a
// terminal it falls back to standard input and output.
#pragma once

#include <cstdio>

enum {
    CONSOLE_PROMPT = 10,   // characters of the prompt
    CONSOLE_WIDTH = 50,    // characters of a printed line
    CONSOLE_INPUT = 198,   // printable characters of a command line
    CONSOLE_HISTORY = 20,  // printed lines kept for reading back
    CONSOLE_COMMANDS = 64, // registered commands
    CONSOLE_NAME = 32,     // characters of a command name
};

typedef void (*CONSOLE_COMMAND)(void);

// Uses in and out instead of the terminal (tests); null, null goes back to
// the terminal.
void Console_SetStreams(FILE* in, FILE* out);
// Sets the prompt ("> " at first), cut to 10 characters; null is "".
void Console_SetPrompt(const char* text);
const char* Console_Prompt(void);
// Prints the prompt without a line break (a command that reads lines of its
// own shows it before each).
void Console_ShowPrompt(void);
// Prints one line cut to 50 characters (at a line break, if earlier) and
// keeps it among the last 20 lines printed.
void Console_PrintLine(const char* text);
// printf into Console_PrintLine.
void Console_Printf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// The lines kept: Console_LineCount() of them, index 0 the oldest; "" outside.
int Console_LineCount(void);
const char* Console_Line(int index);
// Reads one command line: printable characters (' '..'~') up to 198 are
// kept, others and the rest of a long line dropped. Starts the token cursor
// at its beginning. 0 at the end of the input with nothing read, else 1.
int Console_ReadLine(void);
// The line last read.
const char* Console_Input(void);
// Takes the next token of the line: a run of non-blank characters, or the
// text between double quotes (an unclosed quote runs to the end of the line).
// 1 with a token (which may be "" for ""), 0 when the line has no more.
int Console_NextToken(void);
// The current token's text; "" when there is none.
const char* Console_Token(void);
// The current token as atoi reads it (sign and leading digits), clamped to
// int; 0 when there is no token or it isn't a number.
int Console_TokenInt(void);
// Registers a command (name matched without regard to case, cut to 31
// characters); a name already registered gets the new function. 0 when the
// table is full.
int Console_AddCommand(const char* name, CONSOLE_COMMAND fn);
// Removes a command; an unknown name is nothing to do.
void Console_RemoveCommand(const char* name);
// Runs the console: prints the prompt, reads a line and runs the command
// named by its first token ("Unknown command [%s]" when there is none), until
// the command "exit" or the end of the input. Blank lines are skipped.
void Console_Run(void);
