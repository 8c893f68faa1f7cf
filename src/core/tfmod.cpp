// Rewrites of single configuration lines.
//
// The file is not re-generated from the record: a person may have written
// comments, blank lines and their own layout, and all of it must survive. So
// the text is scanned with the tokenizer's rules (';' comments and quoted
// strings are skipped whole, so a keyword inside either is never taken for a
// line), the block is found by its name token followed by '{' and its extent
// by brace depth, and only the bytes of the quoted value are replaced.
//
// When a key occurs more than once, the loader keeps the last value it reads,
// so the rewrite changes that last line: changing an earlier one would be
// overridden at the next start and the new value silently lost.
#include "core/tfmod.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/tfparse.h"
#include "core/tlog.h"

namespace {

std::string s_ConfigPath = "quorvex.cfg";

struct SCAN_TOKEN {
    TF_SPAN span;
    char punct;  // '(' ')' '{' '}' for the single-character tokens, else 0
};

struct SCAN {
    const std::string* text;
    std::vector<SCAN_TOKEN> tokens;
};

bool IsPunct(char c)
{
    return c == '(' || c == ')' || c == '{' || c == '}';
}

// Splits the text into tokens exactly as the loader will. The scanner wants
// a text without NUL bytes, so it runs over a copy with them blanked (the
// loader does the same); the offsets are those of the text itself.
void Scan(const std::string& text, SCAN* scan)
{
    scan->text = &text;
    scan->tokens.clear();
    std::string blanked = text;
    std::replace(blanked.begin(), blanked.end(), '\0', ' ');
    size_t pos = 0;
    int line = 1;
    TF_SPAN span;
    while (TF_ScanToken(blanked.c_str(), blanked.size(), &pos, &line, &span)) {
        char first = text[span.start];
        scan->tokens.push_back({span, (!span.quoted && IsPunct(first)) ? first : '\0'});
    }
}

// The token's text without its quotes equals word.
bool TokenIs(const SCAN* scan, size_t index, const char* word)
{
    const SCAN_TOKEN& t = scan->tokens[index];
    if (t.punct) return false;
    size_t start = TF_SpanTextStart(&t.span);
    size_t end = TF_SpanTextEnd(&t.span);
    size_t len = strlen(word);
    return end - start == len && scan->text->compare(start, len, word) == 0;
}

bool IsPunctToken(const SCAN* scan, size_t index, char c)
{
    return index < scan->tokens.size() && scan->tokens[index].punct == c;
}

// The index of the '}' closing the '{' at open, or the token count when the
// block runs to the end of the text.
size_t MatchBrace(const SCAN* scan, size_t open)
{
    int depth = 0;
    for (size_t i = open; i < scan->tokens.size(); i++) {
        if (scan->tokens[i].punct == '{') depth++;
        if (scan->tokens[i].punct == '}' && --depth == 0) return i;
    }
    return scan->tokens.size();
}

struct FOUND_VALUE {
    int found;     // a line with the key exists
    size_t value;  // its value token; >= the block end when the line has none
    size_t limit;  // the end of the block holding the line
};

// Looks inside tokens [begin, end) for the line named by the last element of
// path, inside the nested blocks named by the elements before it; the last
// such line in text order wins, as it does in the loader.
void FindLastValue(const SCAN* scan, size_t begin, size_t end, const char* const* path, int depth,
                   FOUND_VALUE* out)
{
    size_t i = begin;
    while (i < end) {
        if (scan->tokens[i].punct == '{') {  // a stray block: skip it whole
            i = MatchBrace(scan, i) + 1;
            continue;
        }
        if (scan->tokens[i].punct) {  // a stray ')' '(' or '}' is no key
            i++;
            continue;
        }
        if (i + 1 < end && IsPunctToken(scan, i + 1, '{')) {
            size_t close = std::min(MatchBrace(scan, i + 1), end);
            if (depth > 1 && TokenIs(scan, i, path[0]))
                FindLastValue(scan, i + 2, close, path + 1, depth - 1, out);
            i = close + 1;
            continue;
        }
        if (depth == 1 && TokenIs(scan, i, path[0])) {
            out->found = 1;
            out->value = i + 1;
            out->limit = end;
        }
        i += 2;  // a key and its value
    }
}

struct EDIT {
    size_t start;
    size_t end;
    std::string replacement;
};

// Finds the quoted value of the line at path and queues its replacement by
// value in quotes; false when the line is missing or its value isn't a quoted
// text closed on its own line (the scanner never lets one span lines).
bool QueueValueEdit(const SCAN* scan, const char* const* path, int depth, const char* value,
                    std::vector<EDIT>* edits)
{
    FOUND_VALUE found = {0, 0, 0};
    FindLastValue(scan, 0, scan->tokens.size(), path, depth, &found);
    if (!found.found || found.value >= found.limit) return false;
    const TF_SPAN& t = scan->tokens[found.value].span;
    if (!t.quoted || !t.closed) return false;

    // A '"' would end the value early and a line break would split the line;
    // either would make the file unloadable.
    std::string text = value ? value : "";
    for (char& c : text) {
        if (c == '"') c = '\'';
        if (c == '\r' || c == '\n') c = ' ';
    }
    edits->push_back({t.start, t.end, "\"" + text + "\""});
    return true;
}

// Reads the configuration, queues the edits of every key and writes the file
// back only when all of them were found.
struct KEY_EDIT {
    const char* const* path;
    int depth;
    const char* value;
    size_t field; // the loader's field for it, terminator included
};

// Both lines, whichever step failed: a person searching the log for either
// finds the failure.
void LogWriteFailure(const char* path)
{
    std::string shown = Fs_Resolve(path);
    TLOG(TLOG_ERROR, "Unable to write file [%s]", shown.c_str());
    TLOG(TLOG_ERROR, "Unable to write to file [%s]", shown.c_str());
}

void RewriteConfig(const KEY_EDIT* keys, int count)
{
    const char* path = s_ConfigPath.c_str();
    std::string text;
    if (!Fs_ReadAll(path, &text)) {
        LogWriteFailure(path);
        return;
    }
    SCAN scan;
    Scan(text, &scan);
    std::vector<EDIT> edits;
    // The loader stops on a value longer than its field, so writing one would
    // make the next start fail: such a rewrite is refused whole.
    for (int i = 0; i < count; i++) {
        size_t len = keys[i].value ? strlen(keys[i].value) : 0;
        if (len < keys[i].field) continue;
        TLOG(TLOG_ERROR, "Value of %s longer than %d characters", keys[i].path[keys[i].depth - 1],
             (int)keys[i].field - 1);
        return;
    }
    for (int i = 0; i < count; i++) {
        if (!QueueValueEdit(&scan, keys[i].path, keys[i].depth, keys[i].value, &edits)) return;
    }
    // Back to front, so the offsets of the edits still to do stay valid.
    std::sort(edits.begin(), edits.end(),
              [](const EDIT& a, const EDIT& b) { return a.start > b.start; });
    for (const EDIT& e : edits) text.replace(e.start, e.end - e.start, e.replacement);
    if (!Fs_WriteAtomic(path, text.data(), text.size())) LogWriteFailure(path);
}

const char* const s_PlayerNamePath[] = {"MultiPlayerConfiguration", "SetPlayerName"};
const char* const s_ModemPath[] = {"MultiPlayerConfiguration", "SetModem"};
const char* const s_PortPath[] = {"MultiPlayerConfiguration", "SerialSettings", "SetPort"};
const char* const s_BaudPath[] = {"MultiPlayerConfiguration", "SerialSettings", "SetBaud"};

} // namespace

void Tfmod_SetConfigPath(const char* path)
{
    s_ConfigPath = (path && path[0]) ? path : "quorvex.cfg";
}

const char* Tfmod_GetConfigPath(void)
{
    return s_ConfigPath.c_str();
}

void Tfmod_SetPlayerName(const char* name)
{
    const KEY_EDIT keys[] = {{s_PlayerNamePath, 2, name, sizeof g_CfgPlayerName}};
    RewriteConfig(keys, 1);
}

void Tfmod_SetSerial(const char* port, const char* speed)
{
    const KEY_EDIT keys[] = {{s_PortPath, 3, port, sizeof g_Config.serialport},
                               {s_BaudPath, 3, speed, sizeof g_Config.serialbaud}};
    RewriteConfig(keys, 2);
}

void Tfmod_SetModem(const char* modem)
{
    const KEY_EDIT keys[] = {{s_ModemPath, 2, modem, sizeof g_Config.modem}};
    RewriteConfig(keys, 1);
}
