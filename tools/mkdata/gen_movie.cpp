#include "gen_movie.h"

#include <cstdio>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

std::vector<uint8_t> Mkdata_MovieFrame(int width, int height, int frame, int seed)
{
    std::vector<uint8_t> p((size_t)width * height);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
            p[(size_t)y * width + x] = (uint8_t)(x / 8 + (y / 8) * 3 + frame * 29 + seed * 7);
    return p;
}

// Sends frame (null: flush) and writes every packet the encoder gives.
static int Encode(AVCodecContext* codec, AVFormatContext* out, AVStream* stream, AVFrame* frame, AVPacket* packet)
{
    if (avcodec_send_frame(codec, frame) < 0) return 0;
    for (;;) {
        int r = avcodec_receive_packet(codec, packet);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return 1;
        if (r < 0) return 0;
        packet->duration = 1; // one frame, so that the last one has a length too
        av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        if (av_interleaved_write_frame(out, packet) < 0) return 0;
    }
}

int Mkdata_WriteMovie(const std::string& path, int width, int height, int frames, int fps, int seed, int hub)
{
    AVFormatContext* out = nullptr;
    AVCodecContext* codec = nullptr;
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    const AVCodec* png = avcodec_find_encoder(AV_CODEC_ID_PNG);
    int ok = 0;
    do {
        if (!frame || !packet || !png) break;
        if (avformat_alloc_output_context2(&out, nullptr, "mov", path.c_str()) < 0) break;
        AVStream* stream = avformat_new_stream(out, nullptr);
        codec = avcodec_alloc_context3(png);
        if (!stream || !codec) break;
        codec->width = width;
        codec->height = height;
        codec->pix_fmt = AV_PIX_FMT_PAL8;
        codec->time_base = AVRational{1, fps};
        stream->time_base = codec->time_base;
        if (out->oformat->flags & AVFMT_GLOBALHEADER) codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (avcodec_open2(codec, png, nullptr) < 0) break;
        if (avcodec_parameters_from_context(stream->codecpar, codec) < 0) break;
        if (avio_open(&out->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) break;
        if (avformat_write_header(out, nullptr) < 0) break;
        frame->format = AV_PIX_FMT_PAL8;
        frame->width = width;
        frame->height = height;
        if (av_frame_get_buffer(frame, 0) < 0) break;
        int i = 0;
        for (; i < frames; i++) {
            if (av_frame_make_writable(frame) < 0) break;
            std::vector<uint8_t> pixels = Mkdata_MovieFrame(width, height, i, seed);
            for (int y = height / 2 - hub; y < height / 2 + hub; y++)
                for (int x = width / 2 - hub; x < width / 2 + hub; x++)
                    if (x >= 0 && y >= 0 && x < width && y < height) pixels[(size_t)y * width + x] = 0;
            for (int y = 0; y < height; y++)
                memcpy(frame->data[0] + (size_t)y * frame->linesize[0], &pixels[(size_t)y * width], width);
            uint32_t* palette = (uint32_t*)frame->data[1];
            for (int c = 0; c < 256; c++) palette[c] = 0xFF000000u | (uint32_t)c * 0x010101u;
            frame->pts = i;
            if (!Encode(codec, out, stream, frame, packet)) break;
        }
        if (i < frames || !Encode(codec, out, stream, nullptr, packet)) break;
        ok = av_write_trailer(out) == 0;
    } while (0);
    if (out && out->pb) avio_closep(&out->pb);
    avformat_free_context(out);
    avcodec_free_context(&codec);
    av_frame_free(&frame);
    av_packet_free(&packet);
    if (!ok) fprintf(stderr, "mkdata: could not write the video %s\n", path.c_str());
    return ok;
}

#ifndef MKDATA_FUNCTIONS_ONLY
#include "mkdata.h"

// fuzz_movie: a few frames, and a one-frame video.
static int Seeds(const std::string& target, const std::string& dir)
{
    if (target != "fuzz_movie") return 1;
    return Mkdata_MakeDirs(dir) && Mkdata_WriteMovie(dir + "/three.smk", 16, 12, 3, 15, 1) &&
           Mkdata_WriteMovie(dir + "/one.smk", 8, 8, 1, 15, 2);
}

// The front end's videos in "data\\shell": transitions and side videos full
// screen, the campaign map's ring animations (dark in the middle, under the
// final mission's "13").
static int Demo(const std::string& rundir)
{
    std::string dir = rundir + "/data/shell/";
    if (!Mkdata_MakeDirs(dir)) return 0;
    static const char* const FULL[] = {"cube_in", "cube01", "cube02", "cube03", "cube04", "cube05", "brief_a", "brief_s"};
    int seed = 0;
    for (const char* name : FULL)
        if (!Mkdata_WriteMovie(dir + name + ".smk", 640, 480, 4, 15, seed++)) return 0;
    for (int i = 0; i <= 12; i++) {
        char name[16];
        snprintf(name, sizeof name, "m_ring%02d.smk", i);
        if (!Mkdata_WriteMovie(dir + name, 144, 144, 6, 10, seed++, 13)) return 0;
    }
    return 1;
}

MKDATA_REGISTER(movie, "movie", Demo, Seeds);
#endif
