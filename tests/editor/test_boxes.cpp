// The editor's message, error and query boxes and the file lister.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "core/mlstring.h"
#include "editor/editor.h"
#include "editor/mefile.h"
#include "editorfixture.h"
#include "platform/font.h"
#include "widgets/qidesktop.h"
#include "widgets/qiitem.h"
#include "widgets/qilayer.h"
#include "widgets/qilist.h"
#include "widgets/qislider.h"
#include "widgets/qistatic.h"
#include "widgets/qistring.h"

namespace {

class Boxes : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        const std::string font = std::string(QV_TEST_RUNDIR) + "/data/mapedit/font256b.pcx";
        ASSERT_TRUE(Font_Load(font.c_str(), g_MeEditor.fontB->font.slot));
        g_MeEditor.desktop = new QIDesktop("MapEdit", nullptr, QIImage(), "mapedit\\");
        g_MeEditor.backdrop = new QIContainer("Backdrop", nullptr);
        QIWidget::AddChild(nullptr, g_MeEditor.backdrop);
    }
    void TearDown() override
    {
        MLString_Unload();
        g_MeEditor.backdrop = nullptr;
        EditorTest::TearDown(); // closing the editor deletes its desktop
    }
    void Strings(const std::string& lines)
    {
        dir_.write("mlstring.cfg", "english.str\n");
        dir_.write("english.str", lines);
        ASSERT_GE(MLString_Load(dir_.file("mlstring.cfg").c_str()), 1);
    }
    // Runs a query box, clicking at (x, y); the box's result and its text.
    static int Answer(int x, int y, const char* key, const char* format, int n, std::string* shown)
    {
        QvPassScript s;
        s.Wait(10).Add(QvMove(x, y)).Wait(10).Add(QvButton(1)).Add(QvButton(0)).Wait(10);
        s.onPass = [&](int) {
            if (QIWidget* w = g_MeEditor.desktop->FindByName(key))
                if (shown && w->Parent() == g_MeEditor.backdrop)
                    *shown = static_cast<QIStatic*>(w->FirstChild())->text.c_str();
        };
        return MeMenuFile::QueryBox(key, format, n);
    }
    std::vector<std::string> Listed(const std::string& pattern)
    {
        QIList list("Files", nullptr, IRect(0, 0, 160, 200), IPoint(140, 10), 1, nullptr, nullptr);
        MeMenuFile::ListFiles(&list, pattern.c_str());
        std::vector<std::string> names;
        for (int i = 0; i < list.count; i++) names.push_back(static_cast<QITextItem*>(list.ItemAt(i))->text.c_str());
        return names;
    }
};

} // namespace

TEST_F(Boxes, APanelIsAtLeast180WideAnd64WiderThanItsText)
{
    const int slot = g_MeEditor.fontB->font.slot;
    std::string text;
    while (Font_StringWidth((text + "x").c_str(), slot) <= 116) text += "x";
    const std::string longer = text + text + text;
    struct Row {
        const char* name;
        std::string text;
        int width;
    } rows[] = {
        {"empty", "", 180},
        {"at most 116 pixels", text, 180},
        {"longer", longer, Font_StringWidth(longer.c_str(), slot) + 64},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QIPopup* pop = MeMenuFile::MessageBox("Msg", "Title", row.text.c_str(), 0);
        EXPECT_EQ(pop->w, row.width);
        EXPECT_EQ(pop->h, 110);
        g_MeEditor.desktop->DeleteWidget(pop);
    }
}

TEST_F(Boxes, QueryTextComesByKeyAndOnlyWithTheDefaultsArguments)
{
    // A 180 x 110 box centred at (320, 220): Ok at its bottom right, Cancel
    // to its left.
    std::string shown;
    EXPECT_EQ(Answer(366, 258, "AskA", "Keep %d ?", 7, &shown), 23);
    EXPECT_EQ(shown, "Keep 7 ?");
    EXPECT_NE(log_.text().find("#define AskADesc \"Keep %d ?\""), std::string::npos);

    Strings("#define AskBDesc \"Really keep %d ?\"\n#define AskCDesc \"Keep %s %s ?\"\n");
    EXPECT_EQ(Answer(300, 258, "AskB", "Keep %d ?", 8, &shown), 24);
    EXPECT_EQ(shown, "Really keep 8 ?");
    // A text that asks for other arguments would read ones never given.
    EXPECT_EQ(Answer(366, 258, "AskC", "Keep %d ?", 9, &shown), 23);
    EXPECT_EQ(shown, "Keep 9 ?");
}

TEST_F(Boxes, FilesAreListedByPatternWithoutPlainFolders)
{
    QvTempDir d;
    d.write("FOO.END", "x");
    d.write("attack.end", "x");
    d.write("readme.txt", "x");
    d.write("with space.END", "x");
    d.write(std::string(250, 'L') + ".end", "x");
    ASSERT_EQ(mkdir(d.file("FOLDER.END").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(d.file("LOCKED.END").c_str(), 0555), 0);
    const std::vector<std::string> want = {"Attack.end", "Foo.end", "L" + std::string(249, 'l') + ".end",
                                           "Locked.end", "With space.end"};
    EXPECT_EQ(Listed(d.path() + "/*.end"), want);
    EXPECT_TRUE(Listed(d.path() + "/*.fsm").empty());
    EXPECT_TRUE(Listed(d.path() + "/gone/*.end").empty());
    chmod(d.file("LOCKED.END").c_str(), 0755);
}

namespace {

// The file picker, 160 x 300 centred at (320, 220): its list from the top
// under the title band, Ok and Cancel at the bottom right.
class FileList : public Boxes {
protected:
    void SetUp() override
    {
        Boxes::SetUp();
        files.write("ALPHA.END", "x");
        files.write("beta.end", "x");
        files.write("beta.fsm", "x");
        line = Font_GetHeight(g_MeEditor.fontB->font.slot);
    }
    // Picks row (-1: none), then clicks (x, y); what the list showed.
    std::vector<std::string> Run(int row, int x, int y, QIString* result, const std::string& patterns)
    {
        std::vector<std::string> shown;
        QvPassScript s;
        s.Wait(10);
        if (row >= 0) {
            const int rowY = 70 + 12 + line + 4 + row * line + line / 2;
            s.Add(QvMove(300, rowY)).Wait(10).Add(QvButton(1)).Add(QvButton(0)).Wait(10);
        }
        s.Add(QvMove(x, y)).Wait(10).Add(QvButton(1)).Add(QvButton(0)).Wait(10);
        s.onPass = [&](int) {
            if (QIList* l = dynamic_cast<QIList*>(g_MeEditor.desktop->FindByName("PickFileList"))) {
                shown.clear();
                for (int i = 0; i < l->count; i++) shown.push_back(static_cast<QITextItem*>(l->ItemAt(i))->text.c_str());
            }
        };
        MeMenuFile::FileListDialog("Pick", "Files", result, patterns.c_str());
        EXPECT_FALSE(s.overran);
        return shown;
    }
    QvTempDir files;
    int line = 0;
};

} // namespace

TEST_F(FileList, PatternsAreListedInTurnAndOnlyOkTakesThePick)
{
    const std::string one = files.path() + "/*.end";
    const std::string two = one + ";" + files.path() + "/beta.*";
    QIString result("kept");
    EXPECT_EQ(Run(-1, 356, 352, &result, one), (std::vector<std::string>{"Alpha.end", "Beta.end"}));
    EXPECT_STREQ(result.c_str(), "") << "Ok with nothing picked";
    result.Set("kept");
    EXPECT_EQ(Run(1, 292, 352, &result, two),
              (std::vector<std::string>{"Alpha.end", "Beta.end", "Beta.end", "Beta.fsm"}));
    EXPECT_STREQ(result.c_str(), "kept") << "Cancel after a pick";
    EXPECT_EQ(Run(1, 356, 352, &result, two).size(), 4u);
    EXPECT_STREQ(result.c_str(), "Beta.end");
}

TEST_F(Boxes, TheWaitPanelCountsItsStepsUntilItIsClosed)
{
    MeMenuFile::LoadProgress("Nothing up");
    EXPECT_EQ(MeMenuFile::WaitPanel(), nullptr);
    MeMenuFile::ShowWaitPanel(4, "Loading", "Wait", "Loading the scenario");
    QIPopup* pop = MeMenuFile::WaitPanel();
    ASSERT_NE(pop, nullptr);
    QISlider* bar = nullptr;
    for (QIWidget* w = pop->FirstChild(); w; w = w->Next())
        if ((bar = dynamic_cast<QISlider*>(w))) break;
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->w, pop->w - 32);
    for (int i = 1; i <= 4; i++) {
        MeMenuFile::LoadProgress("Map");
        EXPECT_EQ(*bar->page, i);
    }
    EXPECT_EQ(*bar->range, 4);
    MeMenuFile::CloseWaitPanel();
    EXPECT_EQ(MeMenuFile::WaitPanel(), nullptr);
    MeMenuFile::LoadProgress("After");
}
