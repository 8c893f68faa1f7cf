#include "platform/movie.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include "core/debug.h"
#include "core/fspath.h"
#include "core/tlog.h"
#include "platform/plat.h"

// The decoder's state between calls: the file, its video stream's decoder,
// and the last frame decoded (number decoded, -1 before the first).
struct MOVIESTREAM {
    std::string path;
    AVFormatContext* format;
    AVCodecContext* codec;
    AVPacket* packet;
    AVFrame* frame;
    int index;   // of the video stream
    int decoded; // number of the frame held in frame, -1 for none
    int ended;   // the decoder has given its last frame
};

static void LogFfmpeg(void*, int level, const char* fmt, va_list args)
{
    if (level > AV_LOG_WARNING) return;
    char line[512];
    vsnprintf(line, sizeof line, fmt, args);
    size_t n = strlen(line);
    while (n && line[n - 1] == '\n') line[--n] = 0;
    TLOG(TLOG_DIAG, "FFmpeg: %s", line);
}

static void Shut(MOVIESTREAM* s)
{
    av_frame_free(&s->frame);
    av_packet_free(&s->packet);
    avcodec_free_context(&s->codec);
    avformat_close_input(&s->format);
    s->decoded = -1;
    s->ended = 0;
}

// Opens the file and its first video stream's decoder; an error text or null.
static const char* Start(MOVIESTREAM* s)
{
    static int logging;
    if (!logging) {
        av_log_set_callback(LogFfmpeg);
        logging = 1;
    }
    s->decoded = -1;
    s->ended = 0;
    if (avformat_open_input(&s->format, s->path.c_str(), nullptr, nullptr) < 0) return "not a video";
    if (avformat_find_stream_info(s->format, nullptr) < 0) return "no stream information";
    s->index = av_find_best_stream(s->format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (s->index < 0) return "no video stream";
    const AVCodecParameters* par = s->format->streams[s->index]->codecpar;
    const AVCodec* decoder = avcodec_find_decoder(par->codec_id);
    if (!decoder) return "no decoder";
    s->codec = avcodec_alloc_context3(decoder);
    s->packet = av_packet_alloc();
    s->frame = av_frame_alloc();
    if (!s->codec || !s->packet || !s->frame) return "out of memory";
    if (avcodec_parameters_to_context(s->codec, par) < 0) return "bad codec parameters";
    s->codec->thread_count = 1;
    if (avcodec_open2(s->codec, decoder, nullptr) < 0) return "the decoder refused it";
    return nullptr;
}

// Decodes the next frame into s->frame; 0 at the end of the file or on an
// error (the frame decoded before stays).
static int Advance(MOVIESTREAM* s)
{
    if (s->ended) return 0;
    AVFrame* next = av_frame_alloc();
    if (!next) return 0;
    for (;;) {
        int r = avcodec_receive_frame(s->codec, next);
        if (r == 0) {
            av_frame_unref(s->frame);
            av_frame_move_ref(s->frame, next);
            av_frame_free(&next);
            s->decoded++;
            return 1;
        }
        if (r != AVERROR(EAGAIN)) break;
        r = av_read_frame(s->format, s->packet);
        if (r < 0) {
            avcodec_send_packet(s->codec, nullptr); // drain
            continue;
        }
        if (s->packet->stream_index == s->index) avcodec_send_packet(s->codec, s->packet);
        av_packet_unref(s->packet);
    }
    av_frame_free(&next);
    s->ended = 1;
    return 0;
}

// Counts the video stream's frames by decoding the file once; 0 for none.
static int CountFrames(MOVIESTREAM* s)
{
    int n = 0;
    while (Advance(s)) n++;
    return n;
}

MOVIE* Movie_Open(const char* path)
{
    MOVIESTREAM* s = new MOVIESTREAM{};
    s->path = Fs_Resolve(path ? path : "");
    const char* error = Start(s);
    int frames = error ? 0 : CountFrames(s);
    if (!error && !frames) error = "no frame";
    if (!error) {
        Shut(s);
        error = Start(s);
    }
    if (error) {
        TLOG(TLOG_WARNING, "Video [%s] can't be played: %s", s->path.c_str(), error);
        Shut(s);
        delete s;
        return nullptr;
    }
    MOVIE* m = new MOVIE{};
    m->stream = s;
    m->width = s->codec->width;
    m->height = s->codec->height;
    m->frames = frames;
    AVRational rate = s->format->streams[s->index]->avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) rate = s->format->streams[s->index]->r_frame_rate;
    m->frameMs = rate.num > 0 && rate.den > 0 ? (uint32_t)(1000LL * rate.den / rate.num) : 100;
    m->dueMs = Plat_SystemMs() + m->frameMs;
    return m;
}

void Movie_SetDestination(MOVIE* movie, int left, int top, int pitch, int height, uint8_t* pixels)
{
    if (!movie) return;
    movie->left = left;
    movie->top = top;
    movie->pitch = pitch > 0 ? pitch : 0;
    movie->destHeight = height > 0 ? height : 0;
    movie->pixels = pixels;
}

// Copies plane 0 of the frame, one byte a pixel, clipped to the destination.
static void Put(MOVIE* m, const AVFrame* f)
{
    if (!m->pixels || !f->data[0]) return;
    int rowBytes = f->linesize[0] < 0 ? -f->linesize[0] : f->linesize[0];
    int w = f->width < rowBytes ? f->width : rowBytes;
    for (int y = 0; y < f->height; y++) {
        int dy = m->top + y;
        if (dy < 0 || dy >= m->destHeight) continue;
        int x0 = m->left < 0 ? -m->left : 0;
        int x1 = m->left + w > m->pitch ? m->pitch - m->left : w;
        if (x1 <= x0) continue;
        memcpy(m->pixels + (size_t)dy * m->pitch + m->left + x0, f->data[0] + (ptrdiff_t)y * f->linesize[0] + x0,
               (size_t)(x1 - x0));
    }
}

void Movie_DecodeFrame(MOVIE* movie)
{
    if (!movie) return;
    MOVIESTREAM* s = movie->stream;
    if (movie->current < s->decoded) {
        Shut(s);
        if (const char* error = Start(s)) {
            TLOG(TLOG_WARNING, "Video [%s] can't be reopened: %s", s->path.c_str(), error);
            return;
        }
    }
    while (s->decoded < movie->current && Advance(s)) {
    }
    if (s->decoded >= 0) Put(movie, s->frame);
}

void Movie_NextFrame(MOVIE* movie)
{
    if (movie && movie->current < movie->frames - 1) movie->current++;
}

int Movie_Wait(MOVIE* movie)
{
    if (!movie) return 0;
    uint32_t now = Plat_SystemMs();
    if ((int32_t)(now - movie->dueMs) < 0) return 1;
    movie->dueMs = now + movie->frameMs;
    return 0;
}

void Movie_GoToFrame(MOVIE* movie, int frame)
{
    if (!movie) return;
    movie->current = frame < 0 ? 0 : frame >= movie->frames ? movie->frames - 1 : frame;
}

void Movie_Close(MOVIE* movie)
{
    if (!movie) return;
    Shut(movie->stream);
    delete movie->stream;
    delete movie;
}
