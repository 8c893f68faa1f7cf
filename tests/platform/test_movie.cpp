#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "gen_movie.h"
#include "platform/movie.h"
#include "platform/plat.h"
#include "support/testsupport.h"

using Bytes = std::vector<uint8_t>;

class Movie : public ::testing::Test {
protected:
    QvTempDir dir;
    void SetUp() override
    {
        Plat_InitWith(&g_PlatHeadless);
        PlatHeadless_SetClock(0, 0);
    }
    void TearDown() override { Plat_Close(); }
    // A test video in the temporary directory; its path.
    std::string Write(const char* name, int w, int h, int frames, int fps, int seed)
    {
        std::string path = dir.file(name);
        EXPECT_TRUE(Mkdata_WriteMovie(path, w, h, frames, fps, seed)) << name;
        return path;
    }
};

TEST_F(Movie, DecodesExactlyTheFramesItWasMadeFrom)
{
    struct Row {
        const char* name;
        int w, h, frames, seed;
    } rows[] = {
        {"cube01.smk", 64, 48, 5, 3},
        {"one.smk", 20, 10, 1, 4},
        {"m_ring00.smk", 144, 144, 6, 5},
    };
    for (const Row& r : rows) {
        MOVIE* m = Movie_Open(Write(r.name, r.w, r.h, r.frames, 15, r.seed).c_str());
        ASSERT_NE(m, nullptr) << r.name;
        EXPECT_EQ(m->width, r.w) << r.name;
        EXPECT_EQ(m->height, r.h) << r.name;
        EXPECT_EQ(m->frames, r.frames) << r.name;
        Bytes dest((size_t)r.w * r.h);
        Movie_SetDestination(m, 0, 0, r.w, r.h, dest.data());
        for (int i = 0; i < r.frames; i++) {
            EXPECT_EQ(m->current, i) << r.name;
            Movie_DecodeFrame(m);
            EXPECT_EQ(dest, Mkdata_MovieFrame(r.w, r.h, i, r.seed)) << r.name << " frame " << i;
            Movie_NextFrame(m);
        }
        EXPECT_EQ(m->current, r.frames - 1) << r.name << ": next frame stops at the last";
        Movie_Close(m);
    }
}

TEST_F(Movie, GoingToFrameOneRewinds)
{
    struct Row {
        const char* name;
        int frames;
        int expectCurrent;
    } rows[] = {{"three.smk", 3, 1}, {"single.smk", 1, 0}};
    for (const Row& r : rows) {
        MOVIE* m = Movie_Open(Write(r.name, 8, 8, r.frames, 15, 9).c_str());
        ASSERT_NE(m, nullptr) << r.name;
        Bytes dest(64);
        Movie_SetDestination(m, 0, 0, 8, 8, dest.data());
        Movie_GoToFrame(m, r.frames - 1);
        Movie_DecodeFrame(m);
        Movie_GoToFrame(m, 1);
        EXPECT_EQ(m->current, r.expectCurrent) << r.name;
        Movie_DecodeFrame(m);
        EXPECT_EQ(dest, Mkdata_MovieFrame(8, 8, r.expectCurrent, 9)) << r.name;
        Movie_Close(m);
    }
}

TEST_F(Movie, ClipsToTheDestination)
{
    MOVIE* m = Movie_Open(Write("big.smk", 32, 24, 1, 15, 2).c_str());
    ASSERT_NE(m, nullptr);
    // 16 x 10 with guard bytes after it; the frame placed at (4, 3).
    Bytes dest(16 * 10 + 64, 0xEE);
    Movie_SetDestination(m, 4, 3, 16, 10, dest.data());
    Movie_DecodeFrame(m);
    Bytes frame = Mkdata_MovieFrame(32, 24, 0, 2);
    for (int y = 0; y < 10; y++)
        for (int x = 0; x < 16; x++) {
            uint8_t want = y >= 3 && x >= 4 ? frame[(size_t)(y - 3) * 32 + (x - 4)] : 0xEE;
            ASSERT_EQ(dest[(size_t)y * 16 + x], want) << x << "," << y;
        }
    EXPECT_EQ(Bytes(dest.begin() + 160, dest.end()), Bytes(64, 0xEE)) << "nothing past the destination";
    // Placed left of and above the destination.
    Movie_SetDestination(m, -30, -20, 16, 10, dest.data());
    Movie_DecodeFrame(m);
    EXPECT_EQ(dest[0], frame[20 * 32 + 30]);
    EXPECT_EQ(dest[1], frame[20 * 32 + 31]);
    EXPECT_EQ(dest[2], 0xEE);
    Movie_Close(m);
}

TEST_F(Movie, WaitsForTheFileRateOnTheSystemClock)
{
    MOVIE* m = Movie_Open(Write("rate.smk", 8, 8, 2, 10, 1).c_str());
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(Movie_Wait(m), 1);
    PlatHeadless_Advance(99);
    EXPECT_EQ(Movie_Wait(m), 1);
    PlatHeadless_Advance(1);
    EXPECT_EQ(Movie_Wait(m), 0);
    EXPECT_EQ(Movie_Wait(m), 1) << "the next frame is due a frame later";
    PlatHeadless_Advance(100);
    EXPECT_EQ(Movie_Wait(m), 0);
    Movie_Close(m);
}

TEST_F(Movie, RefusesWhatCantBePlayed)
{
    dir.write("broken.smk", std::string("SMK2") + std::string(200, '\x07'));
    dir.write("empty.smk", "");
    dir.write("text.smk", "not a video at all\n");
    for (const char* name : {"missing.smk", "broken.smk", "empty.smk", "text.smk"})
        EXPECT_EQ(Movie_Open(dir.file(name).c_str()), nullptr) << name;
    Movie_Close(nullptr);
}

// The front end's own ".smk" files decode through the same layer only while
// the system's FFmpeg carries the Smacker demuxer and decoder.
TEST(MovieLibrary, HoldsTheSmackerDemuxerAndDecoder)
{
    EXPECT_NE(av_find_input_format("smk"), nullptr);
    EXPECT_NE(avcodec_find_decoder(AV_CODEC_ID_SMACKVIDEO), nullptr);
}
