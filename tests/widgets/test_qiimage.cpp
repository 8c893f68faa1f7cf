// Images and the bitmap cache, the loaders' refusals, and texts by id.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/mlstring.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "gen_palette.h"
#include "gen_widgets.h"
#include "platform/graph.h"
#include "support/testsupport.h"
#include "widgets/qidraw.h"
#include "widgets/qiimage.h"

namespace {

class Images : public testing::Test {
protected:
    void SetUp() override
    {
        Str_CopySafe(oldData_, g_DataDir, sizeof oldData_);
        Str_CopySafe(g_DataDir, dir.path().c_str(), sizeof g_DataDir);
        QI_SetBmpList(&list);
    }
    void TearDown() override
    {
        QI_SetBmpList(nullptr);
        Str_CopySafe(g_DataDir, oldData_, sizeof g_DataDir);
    }
    // A w x h picture of one colour in pics/.
    void Write(const char* name, int w, int h, int bits = 8)
    {
        PALINFO pal;
        Mkdata_DemoPalette(&pal);
        BITMAP b;
        ASSERT_TRUE(Graph_InitBitmap(&b, w, h, nullptr));
        Graph_ClearBitmap(&b, 7);
        dir.write(std::string("pics/") + name, "");
        ASSERT_TRUE(GenWidgets_WriteBmp(dir.file(std::string("pics/") + name), &b, pal.colours, bits));
        Graph_FreeBitmap(&b);
    }
    QvTempDir dir;
    QIBmpList list{"pics"};
    char oldData_[GAME_PATH];
};

} // namespace

TEST_F(Images, OneLoadPerFileWhateverTheCaseAndFailuresAreRetried)
{
    Write("page.bmp", 40, 30);
    BITMAP* a = list.FindOrLoad("page.bmp");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->x_size, 40);
    EXPECT_EQ(list.FindOrLoad("PAGE.BMP"), a);
    EXPECT_EQ(list.count, 1);

    QvLogCapture log;
    EXPECT_EQ(list.FindOrLoad("late.bmp"), nullptr);
    EXPECT_NE(log.text().find("Error loading bitmap ["), std::string::npos);
    EXPECT_EQ(list.count, 1);
    Write("late.bmp", 8, 8);
    EXPECT_NE(list.FindOrLoad("late.bmp"), nullptr);
    EXPECT_EQ(list.count, 2);
}

TEST_F(Images, ResolveUnbindsARectangleOutsideItsBitmap)
{
    Write("sheet.bmp", 40, 30);
    const struct {
        IRect rect;
        const char* message; // "": bound
    } cases[] = {
        {IRect(0, 0, 40, 30), ""},
        {IRect(1, 0, 40, 30), "x+w > xsize (sheet.bmp,1,40,40)"},
        {IRect(0, 5, 10, 26), "y+h > ysize (sheet.bmp,5,26,30)"},
        {IRect(-1, 0, 10, 10), "(x || y) < 0 (sheet.bmp,-1,0)"},
        {IRect(0, -2, 10, 10), "(x || y) < 0 (sheet.bmp,0,-2)"},
    };
    for (const auto& c : cases) {
        QvLogCapture log(TLOG_SAVE);
        QIImage image("sheet.bmp", c.rect, 0);
        image.Resolve();
        EXPECT_EQ(image.Usable(), !*c.message) << c.message;
        if (*c.message) {
            EXPECT_NE(log.text().find(c.message), std::string::npos) << log.text();
        } else {
            EXPECT_EQ(log.text(), "");
        }
    }
    QIImage remap;
    remap.flags |= QIIMG_REMAP;
    remap.Resolve();
    EXPECT_TRUE(remap.Usable()) << "a remapping image needs no bitmap";
}

TEST_F(Images, LoadersRefuseWhatIsNotAnEightBitPicture)
{
    Write("deep.bmp", 4, 4, 24);
    dir.write("pics/junk.bmp", "not a picture");
    // Named as a shell can open them, not as configured (with backslashes).
    const std::string deep = Fs_Resolve((std::string(g_DataDir) + "\\pics\\deep.bmp").c_str());
    const std::string junk = Fs_Resolve((std::string(g_DataDir) + "\\pics\\junk.bmp").c_str());
    const struct {
        const char* name;
        std::string message;
    } cases[] = {
        {"deep.bmp", "Bitmap must be 8 bit [" + deep + "]"},
        {"junk.bmp", "Error loading bitmap [" + junk + "] (2)"},
    };
    for (const auto& c : cases) {
        QvLogCapture log;
        BITMAP b{};
        EXPECT_EQ(QI_LoadBitmap(&b, c.name, "pics"), 0);
        EXPECT_NE(log.text().find(c.message), std::string::npos) << log.text();
        EXPECT_EQ(c.message.find('\\'), std::string::npos) << c.message;
        EXPECT_EQ(b.data, nullptr);
    }
    // PaletteOfA24BitPictureIsRefused: once, the palette untouched, and the
    // list doesn't try the picture again.
    uint8_t rgb6[768];
    std::fill(rgb6, rgb6 + 768, 42);
    {
        QvLogCapture log;
        EXPECT_EQ(QI_LoadPalette(rgb6, "deep.bmp", "pics"), 0);
        EXPECT_EQ(list.FindOrLoad("deep.bmp"), nullptr);
        EXPECT_EQ(list.FindOrLoad("DEEP.BMP"), nullptr);
        const std::string text = log.text();
        EXPECT_NE(text.find("Bitmap must be 8 bit [" + deep + "]"), std::string::npos) << text;
        EXPECT_EQ(text.find("Bitmap must be 8 bit", text.find("Bitmap must be 8 bit") + 1), std::string::npos)
            << text;
        EXPECT_TRUE(std::all_of(rgb6, rgb6 + 768, [](uint8_t v) { return v == 42; }));
    }
    Write("pal.bmp", 2, 2);
    ASSERT_EQ(QI_LoadPalette(rgb6, "pal.bmp", "pics"), 1);
    PALINFO pal;
    Mkdata_DemoPalette(&pal);
    EXPECT_EQ(rgb6[3 * 15], pal.colours[15].r / 4);
}

TEST_F(Images, TextsByIdFallBackToTheirDefaultWithOneDefineLine)
{
    dir.write("strings/mlstring.cfg", "t.str\n");
    dir.write("strings/t.str", "#define Found \"Found %d of %s\"\n"
                               "#define Other \"Takes %s first %d\"\n");
    ASSERT_GT(MLString_Load(dir.file("strings/mlstring.cfg").c_str()), 0);
    const struct {
        const char* id;
        const char* text;
        const char* log; // "": nothing logged
    } cases[] = {
        {"Found", "Found 3 of all", ""},
        {"Missing", "Default 3 all", "#define Missing \"Default %d %s\""},
        {"Other", "Default 3 all", "Text [Other] takes other arguments"},
    };
    for (const auto& c : cases) {
        QvLogCapture log;
        QIString out;
        QI_Text(c.id, &out, c.id == std::string("Found") ? "Found %d of %s" : "Default %d %s", 3,
                "all");
        EXPECT_STREQ(out.text, c.text);
        if (*c.log) {
            EXPECT_NE(log.text().find(c.log), std::string::npos) << log.text();
            EXPECT_EQ(log.text().find("#define", log.text().find("#define") + 1), std::string::npos);
        } else {
            EXPECT_EQ(log.text(), "");
        }
    }
    MLString_Unload();
}

// Plain texts were looked up through "%s": a found text without that one
// argument was turned down for the default, and a '%' in it read as a format.
TEST_F(Images, PlainTextsByIdAreTakenAsTheyStandNotTurnedDownForTheirArguments)
{
    dir.write("strings/mlstring.cfg", "t.str\n");
    dir.write("strings/t.str", "#define Human \"Person\"\n"
                               "#define Rate \"100% of %d\"\n");
    ASSERT_GT(MLString_Load(dir.file("strings/mlstring.cfg").c_str()), 0);
    const struct {
        const char* id;
        const char* text;
        const char* log; // "": nothing logged
    } cases[] = {
        {"Human", "Person", ""},
        {"Rate", "100% of %d", ""},
        {"Gone", "default", "#define Gone \"default\""},
        {"Gone", "default", ""},
    };
    for (const auto& c : cases) {
        QvLogCapture log;
        QIString out;
        QI_PlainText(c.id, &out, "default");
        EXPECT_STREQ(out.text, c.text) << c.id;
        if (*c.log) EXPECT_NE(log.text().find(c.log), std::string::npos) << log.text();
        else EXPECT_EQ(log.text(), "") << c.id;
    }
    MLString_Unload();
}
