#include <string>
#include <vector>

#include "core/gamestate.h"
#include "gen_movie.h"
#include "platform/graph.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "shell/shellctl.h"
#include "shell/shellvideo.h"
#include "support/passscript.h"
#include "support/testsupport.h"

using Bytes = std::vector<uint8_t>;

// At each pump (one a flip), which of the expected frames the back buffer
// holds (-1 for none); posts quit at pump number s_quitAt.
static std::vector<Bytes> s_expected;
static std::vector<int> s_shown;
static int s_quitAt;

static void OnPump(void)
{
    const BITMAP* back = Backbuf_Lock();
    Bytes now(back->data, back->data + 640 * 480);
    int found = -1;
    for (size_t i = 0; i < s_expected.size(); i++)
        if (s_expected[i] == now) found = (int)i;
    s_shown.push_back(found);
    if ((int)s_shown.size() == s_quitAt) Plat_PostQuit();
}

// The kit on the headless screen with videos in the data directory's
// "shell".
class ShellVideo : public ::testing::Test {
protected:
    QvHeadlessScreen screen;
    QvTempDir dir;
    std::string oldData;
    void SetUp() override
    {
        oldData = g_DataDir;
        snprintf(g_DataDir, sizeof g_DataDir, "%s", dir.file("Data").c_str());
        dir.write("Data/shell/readme", "");
        Shell_InitControls();
        Shell_RegisterAnim();
        s_expected.clear();
        s_shown.clear();
        s_quitAt = 0;
    }
    void TearDown() override
    {
        PlatHeadless_SetPumpHook(nullptr);
        Plat_ClearQuit();
        Shell_CloseControls();
        snprintf(g_DataDir, sizeof g_DataDir, "%s", oldData.c_str());
    }
    void Write(const char* name, int w, int h, int frames, int seed)
    {
        ASSERT_TRUE(Mkdata_WriteMovie(dir.file(std::string("Data/shell/") + name + ".smk"), w, h, frames, 15, seed));
    }
    // Full-screen frames of a 640 x 480 video.
    void Expect(int frames, int seed)
    {
        for (int i = 0; i < frames; i++) s_expected.push_back(Mkdata_MovieFrame(640, 480, i, seed));
    }
    std::vector<int> Play(const char* name)
    {
        PlatHeadless_SetPumpHook(OnPump);
        Shell_PlayShellVideo(name);
        PlatHeadless_SetPumpHook(nullptr);
        return s_shown;
    }
};

TEST_F(ShellVideo, FullScreenShowsEveryFrameOnceAFlip)
{
    struct Row {
        const char* name;
        int frames, quitAt;
        std::vector<int> shown;
    } rows[] = {
        {"cube01", 4, 0, {0, 1, 2, 3}},
        {"one", 1, 0, {0}},
        {"missing", 0, 0, {}},
        {"stopped", 5, 2, {0, 1}},
    };
    int seed = 1;
    for (const Row& r : rows) {
        s_expected.clear();
        s_shown.clear();
        Plat_ClearQuit();
        s_quitAt = r.quitAt;
        if (r.frames) {
            Write(r.name, 640, 480, r.frames, seed);
            Expect(r.frames, seed);
        }
        EXPECT_EQ(Play(r.name), r.shown) << r.name;
        seed++;
    }
}

TEST_F(ShellVideo, AnimLoopsFromFrameOneAtTheFileRate)
{
    Write("m_ring00", 16, 8, 3, 2);
    SHELLCTL* anim = Shell_PlayVideo(nullptr, "m_ring00", 100, 50);
    ASSERT_NE(anim, nullptr);
    EXPECT_EQ(anim->width, 16);
    EXPECT_EQ(anim->height, 8);
    EXPECT_TRUE(anim->style & SHELL_LOOP);
    std::vector<int> frames;
    for (int i = 0; i < 7; i++) {
        PlatHeadless_Advance(67); // a frame at 15 a second
        Shell_SendMessage(anim, SM_UPDATE);
        Shell_SendMessage(anim, SM_DRAW);
        const BITMAP* back = Backbuf_Lock();
        Bytes shown;
        for (int y = 0; y < 8; y++) shown.insert(shown.end(), back->data + (50 + y) * 640 + 100, back->data + (50 + y) * 640 + 116);
        int found = -1;
        for (int f = 0; f < 3; f++)
            if (Mkdata_MovieFrame(16, 8, f, 2) == shown) found = f;
        frames.push_back(found);
    }
    EXPECT_EQ(frames, std::vector<int>({1, 2, 1, 2, 1, 2, 1}));
    Shell_SendMessage(anim, SM_UPDATE); // not yet due: no step
    Shell_SendMessage(anim, SM_DRAW);
    EXPECT_EQ(Backbuf_Lock()->data[50 * 640 + 100], Mkdata_MovieFrame(16, 8, 1, 2)[0]);
    Shell_SendMessage(anim, SM_DESTROY);
}

TEST_F(ShellVideo, AnimIntoAGivenBufferAndRefusals)
{
    Write("ring", 8, 4, 2, 3);
    Bytes buffer(32 * 16, 0xEE);
    std::string path = dir.file("Data/shell/ring.smk");
    SHELLCTL* anim = Shell_CreateAnim(nullptr, 0, 20, 10, 0, 0, path.c_str(), buffer.data(), 32, 16);
    ASSERT_NE(anim, nullptr);
    Bytes frame = Mkdata_MovieFrame(8, 4, 0, 3);
    EXPECT_EQ(buffer[10 * 32 + 20], frame[0]) << "the first frame at the control's place";
    EXPECT_EQ(buffer[13 * 32 + 27], frame[3 * 8 + 7]);
    EXPECT_EQ(buffer[14 * 32 + 27], 0xEE) << "nothing below the frame";
    EXPECT_EQ(anim->owned, nullptr);
    Shell_SendMessage(anim, SM_DESTROY);
    dir.write("Data/shell/broken.smk", "garbage");
    EXPECT_EQ(Shell_PlayVideo(nullptr, "broken", 0, 0), nullptr);
    EXPECT_EQ(Shell_PlayVideo(nullptr, "absent", 0, 0), nullptr);
}
