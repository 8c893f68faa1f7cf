// Seeds for the game screen's fuzz targets: a briefing with sections,
// bullets and codes, and a text of zero-width characters, for the word wrap;
// a two-column list taking entries at every position, scrolled, clicked,
// drawn and filled from a directory, for the scroll list.
#include <string>

#include "mkdata.h"

static int TextWrapSeeds(const std::string& dir)
{
    // Section, width (two bytes), character-width modulus, then the text.
    std::string briefing = {1, 0x35, 1, 8};
    briefing += "\\0Nothing here.\\1Your orders, commander:\\n\xb7 Hold the bridge until the "
                "convoy has crossed, whatever the cost.\\n\xb7 Keep the depot standing.\\n"
                "Good luck.\\2Second part\r\nwith lines\\c\\t and \\q codes\\9";
    std::string zero = {3, 0, 1, 0};
    zero += std::string(400, 'a');
    return Mkdata_WriteFile(dir + "/briefing.bin", briefing.data(), briefing.size()) &&
           Mkdata_WriteFile(dir + "/zerowidth.bin", zero.data(), zero.size());
}

static int SListSeeds(const std::string& dir)
{
    // Rectangle 10,10 + 99 x 63, single selection, rows of 10, two columns.
    std::string s = {10, 10, 99, 63, 0, 9, 2, 0};
    const int ops[][4] = {
        {0, -4, 1, 0}, {0, -4, 2, 1}, {0, -3, 0, 2}, {5, 1, 0, 0},   {0, -1, 0, 3},
        {0, -2, 0, 4}, {0, -5, 0, 5}, {0, -6, 0, 1}, {2, 0, 8, 0},   {3, 12, 12, 0},
        {3, 12, 12, 1}, {4, 60, 20, 0}, {6, 0, 9, 2}, {1, 0, 0, 0},  {8, 0, 0, 0},
        {9, 1, 2, 0},  {9, 3, 4, 5},  {9, 5, 6, 2}, {10, 3, 41, 0}, {2, -128, -128, 0},
        {8, 0, 0, 0},  {7, 1, 0, 0},
    };
    for (const auto& op : ops)
        for (int b : op) s.push_back((char)b);
    return Mkdata_WriteFile(dir + "/ops.bin", s.data(), s.size());
}

static int Seeds(const std::string& target, const std::string& dir)
{
    if (target == "fuzz_textwrap") return TextWrapSeeds(dir);
    if (target == "fuzz_slist") return SListSeeds(dir);
    return 1;
}

MKDATA_REGISTER(screenseeds, "screenseeds", nullptr, Seeds);
