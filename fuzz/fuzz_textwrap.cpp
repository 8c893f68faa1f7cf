// Word wrap over any bytes: a section, a width and a character-width rule
// from the first bytes, the text after them, read both from memory and from
// a file, and the text panel opened on the file both ways (with no font
// loaded: every character 0 pixels wide). No line may be longer than 157
// characters plus the two-space indent (256 for a plain text file's line),
// and nothing past the text (or past 4999 bytes of the file) may be read:
// the text is handed over in a buffer of exactly its size.
#include <cstdlib>
#include <cstring>

#include "core/textlines.h"
#include "fuzzsupport.h"
#include "ui/igi.h"
#include "ui/igitext.h"
#include "ui/slist.h"

static int s_Modulus;

static int CharWidth(int c) { return s_Modulus ? c % s_Modulus : 0; }

static void CheckLine(const char* line)
{
    if (strlen(line) > TEXT_LINEMAX + 2) abort();
}

static void CheckPanel(size_t longest)
{
    SLIST* l = IgiDisp_TextPanelList();
    if (!l) abort();
    for (int i = 0; i < SList_Count(l); i++) {
        SList_Select(l, i);
        if (strlen(SList_GetSelectedText(l)) > longest) abort();
    }
    IgiDisp_CloseTextPanel();
}

static void fuzz_Wrap(const uint8_t* data, size_t n)
{
    if (n < 4) return;
    int section = data[0] % 12;
    int width = data[1] | (data[2] & 0x7f) << 8;
    if (data[2] & 0x80) width = -width;
    s_Modulus = data[3] % 24; // 0: every character 0 pixels wide
    data += 4;
    n -= 4;
    uint8_t* text = (uint8_t*)malloc(n ? n : 1);
    memcpy(text, data, n);
    Text_WrapSection((const char*)text, (int)n, section, width, CharWidth, CheckLine);
    free(text);
    const char* path = QvFuzz_WriteTemp(".txt", data, n);
    if (!path) return;
    if (!Text_WrapFileSection(path, section, width, CharWidth, CheckLine)) abort();
    // The text panel's zone as the interface defines it.
    ZONE& z = igi_nfo.zone.data[TEXTPANEL_ZONE];
    z.lx = 49, z.ly = 96, z.rx = 398, z.ry = 415;
    IgiDisp_ShowTextFile(path, "none");
    CheckPanel(TEXTPANEL_LINEMAX);
    IgiDisp_ShowBriefing(path, section);
    CheckPanel(TEXT_LINEMAX + 2);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzzHeapCheck check;
    QV_FUZZ_GUARD(fuzz_Wrap(data, size));
    return 0;
}
