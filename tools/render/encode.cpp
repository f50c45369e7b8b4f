#include "tools/render/encode.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <type_traits>
#include <vector>

namespace mirel {

namespace {

// Frames (as 32-bit pixels) a GIF may keep in memory while its palette is made.
constexpr int64_t MaxBufferedGif = int64_t{512} << 20;
// A GIF longer than this is written with a word about its size.
constexpr double LongGifSeconds = 10;

std::string AvError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

template <typename T, void (*Free)(T**)>
struct TAvPtr {
    T* p = nullptr;
    ~TAvPtr() { Free(&p); }
    T* operator->() const { return p; }
    operator T*() const { return p; }
};

void FreeFormat(AVFormatContext** ctx)
{
    if (*ctx) {
        if ((*ctx)->pb)
            avio_closep(&(*ctx)->pb);
        avformat_free_context(*ctx);
        *ctx = nullptr;
    }
}
void FreeInput(AVFormatContext** ctx)
{
    avformat_close_input(ctx);
}

// SVT-AV1 closed before it was told that the frames have ended waits for
// them for ever (a write failed, a run interrupted): it is told first, and
// what it still makes is dropped.
void FreeCodec(AVCodecContext** ctx)
{
    if (*ctx && avcodec_is_open(*ctx) && av_codec_is_encoder((*ctx)->codec) &&
        std::strcmp((*ctx)->codec->name, "libsvtav1") == 0 && avcodec_send_frame(*ctx, nullptr) >= 0) {
        AVPacket* p = av_packet_alloc();
        while (p && avcodec_receive_packet(*ctx, p) >= 0)
            av_packet_unref(p);
        av_packet_free(&p);
    }
    avcodec_free_context(ctx);
}

using TCodecPtr = TAvPtr<AVCodecContext, FreeCodec>;
using TFramePtr = TAvPtr<AVFrame, av_frame_free>;
using TPacketPtr = TAvPtr<AVPacket, av_packet_free>;
using TGraphPtr = TAvPtr<AVFilterGraph, avfilter_graph_free>;

struct TSwsPtr {
    SwsContext* p = nullptr;
    ~TSwsPtr() { sws_freeContext(p); }
};

// A filter graph from one source to one sink, described by text.
struct TGraph {
    TGraphPtr graph;
    AVFilterContext *src = nullptr, *sink = nullptr;

    void Build(const std::string& srcName, const std::string& srcArgs, const std::string& sinkName,
               const std::string& filters, const std::string& what)
    {
        graph.p = avfilter_graph_alloc();
        if (!graph.p)
            throw std::runtime_error(what + ": out of memory");
        graph->nb_threads = 1;
        int rc = avfilter_graph_create_filter(&src, avfilter_get_by_name(srcName.c_str()), "in", srcArgs.c_str(),
                                              nullptr, graph);
        if (rc >= 0)
            rc = avfilter_graph_create_filter(&sink, avfilter_get_by_name(sinkName.c_str()), "out", nullptr,
                                              nullptr, graph);
        AVFilterInOut* outputs = avfilter_inout_alloc();
        AVFilterInOut* inputs = avfilter_inout_alloc();
        if (rc >= 0 && outputs && inputs) {
            outputs->name = av_strdup("in");
            outputs->filter_ctx = src;
            inputs->name = av_strdup("out");
            inputs->filter_ctx = sink;
            rc = avfilter_graph_parse_ptr(graph, filters.c_str(), &inputs, &outputs, nullptr);
            if (rc >= 0)
                rc = avfilter_graph_config(graph, nullptr);
        }
        avfilter_inout_free(&inputs);
        avfilter_inout_free(&outputs);
        if (rc < 0)
            throw std::runtime_error(what + ": cannot set up the filters: " + AvError(rc));
    }
};

struct TKindSetup {
    const char* Muxer;
    const char* Codec;
    const char* AudioCodec;
};

// The video encoders offered by --codec, with their settings by FFmpeg's
// names: the option --crf sets and its range, the option --preset sets with
// its names or numbers, and the defaults used without them.
struct TCodecChoice {
    const char* Name;
    const char* Kinds; // the containers it goes in (FFmpeg would write more, that players do not read)
    const char* Crf; // nullptr: the codec has none
    int CrfMax, CrfDefault;
    const char* Preset;
    const char* PresetNames; // nullptr: numbers from PresetLo to PresetHi
    int PresetLo, PresetHi;
    const char* PresetDefault;
    AVPixelFormat PixFmt;
    int32_t MinSide = 1;
};

constexpr const char* X26xPresets = "ultrafast, superfast, veryfast, faster, fast, medium, slow, slower, veryslow, placebo";
constexpr TCodecChoice CodecChoices[] = {
    {"libx264", "mp4 mkv mov avi", "crf", 51, 18, "preset", X26xPresets, 0, 0, "medium", AV_PIX_FMT_YUV420P},
    {"libx265", "mp4 mkv mov", "crf", 51, 20, "preset", X26xPresets, 0, 0, "medium", AV_PIX_FMT_YUV420P},
    {"libvpx-vp9", "mp4 mkv webm", "crf", 63, 32, "cpu-used", nullptr, -8, 8, "4", AV_PIX_FMT_YUV420P},
    {"libaom-av1", "mp4 mkv webm", "crf", 63, 32, "cpu-used", nullptr, 0, 8, "6", AV_PIX_FMT_YUV420P},
    {"libsvtav1", "mp4 mkv webm", "crf", 63, 32, "preset", nullptr, 0, 13, "8", AV_PIX_FMT_YUV420P, 64},
    // For editors: intra only, 10 bits, its quality set by its profile.
    {"prores_ks", "mov mkv", nullptr, 0, 0, "profile", "proxy, lt, standard, hq, 4444, 4444xq", 0, 0, "hq",
     AV_PIX_FMT_YUV422P10LE},
    {"mpeg4", "avi", nullptr, 0, 0, nullptr, nullptr, 0, 0, nullptr, AV_PIX_FMT_YUV420P},
};

// The pixel formats --pix-fmt offers, where the codec takes them.
constexpr AVPixelFormat PixFmtChoices[] = {AV_PIX_FMT_YUV420P,     AV_PIX_FMT_YUV422P,     AV_PIX_FMT_YUV444P,
                                           AV_PIX_FMT_YUV420P10LE, AV_PIX_FMT_YUV422P10LE, AV_PIX_FMT_YUV444P10LE};

std::string JoinNames(const std::vector<std::string>& names)
{
    std::string text;
    for (size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
    return text.empty() ? "none" : text;
}

// The codec that out's container takes by that name, among those this
// FFmpeg has; throws one line listing them otherwise.
const TCodecChoice& ChooseCodec(const std::string& out, TOutputKind kind, const AVOutputFormat* format,
                                const std::string& name)
{
    std::vector<std::string> offered;
    const TCodecChoice* chosen = nullptr;
    for (const TCodecChoice& choice : CodecChoices) {
        const AVCodec* codec = avcodec_find_encoder_by_name(choice.Name);
        if (!codec || avformat_query_codec(format, codec->id, FF_COMPLIANCE_NORMAL) != 1 ||
            !std::strstr(choice.Kinds, KindName(kind).data()))
            continue;
        offered.emplace_back(choice.Name);
        if (name == choice.Name)
            chosen = &choice;
    }
    if (!chosen)
        throw std::runtime_error(out + ": --codec takes " + JoinNames(offered) + " for ." +
                                 std::string(KindName(kind)) + ", not '" + name + "'");
    return *chosen;
}

// The codec's options from --crf and --preset, or its defaults; throws one
// line listing the values it takes.
void SetQuality(const std::string& out, const TCodecChoice& codec, const TSinkOptions& options,
                AVCodecContext* enc, AVDictionary** dict)
{
    if (options.Crf >= 0 && !codec.Crf)
        throw std::runtime_error(out + ": " + codec.Name + " has no --crf" +
                                 (codec.Preset ? std::string("; its --") + "preset sets the quality" : ""));
    if (codec.Crf) {
        if (options.Crf > codec.CrfMax)
            throw std::runtime_error(out + ": --crf takes 0 to " + std::to_string(codec.CrfMax) + " for " +
                                     codec.Name + ", not " + std::to_string(options.Crf));
        av_dict_set_int(dict, codec.Crf, options.Crf >= 0 ? options.Crf : codec.CrfDefault, 0);
        enc->bit_rate = 0; // the quality alone decides
    }
    if (!options.Preset.empty() && !codec.Preset)
        throw std::runtime_error(out + ": " + codec.Name + " has no --preset");
    if (!codec.Preset)
        return;
    const std::string preset = options.Preset.empty() ? codec.PresetDefault : options.Preset;
    bool known = false;
    std::string list;
    if (codec.PresetNames) {
        list = codec.PresetNames;
        for (size_t at = 0; at <= list.size() && !known;) {
            const size_t comma = std::min(list.find(", ", at), list.size());
            known = list.compare(at, comma - at, preset) == 0 && preset.size() == comma - at;
            at = comma + 2;
        }
    } else {
        list = std::to_string(codec.PresetLo) + " to " + std::to_string(codec.PresetHi);
        char* end = nullptr;
        const long value = std::strtol(preset.c_str(), &end, 10);
        known = !preset.empty() && *end == 0 && value >= codec.PresetLo && value <= codec.PresetHi;
    }
    if (!known)
        throw std::runtime_error(out + ": --preset takes " + list + " for " + codec.Name + ", not '" + preset +
                                 "'");
    av_dict_set(dict, codec.Preset, preset.c_str(), 0);
}

// The pixel format asked for (or the codec's own), if the codec takes it.
AVPixelFormat ChoosePixFmt(const std::string& out, const TCodecChoice& choice, const AVCodec* codec,
                           const std::string& asked)
{
    const auto takes = [codec](AVPixelFormat format) {
        for (const AVPixelFormat* p = codec->pix_fmts; p && *p != AV_PIX_FMT_NONE; ++p)
            if (*p == format)
                return true;
        return false;
    };
    if (asked.empty())
        return choice.PixFmt;
    std::vector<std::string> offered;
    for (const AVPixelFormat format : PixFmtChoices) {
        if (!takes(format))
            continue;
        offered.emplace_back(av_get_pix_fmt_name(format));
        if (asked == offered.back())
            return format;
    }
    throw std::runtime_error(out + ": --pix-fmt takes " + JoinNames(offered) + " for " + choice.Name + ", not '" +
                             asked + "'");
}

TKindSetup SetupOf(TOutputKind kind)
{
    switch (kind) {
    case TOutputKind::Gif: return {"gif", "gif", nullptr};
    case TOutputKind::Mp4: return {"mp4", "libx264", "aac"};
    case TOutputKind::Mkv: return {"matroska", "libx264", "aac"};
    case TOutputKind::Mov: return {"mov", "libx264", "aac"};
    case TOutputKind::WebM: return {"webm", "libvpx-vp9", "libopus"};
    case TOutputKind::Avi: return {"avi", "mpeg4", "libmp3lame"};
    default: break;
    }
    throw std::logic_error("not an encoded kind");
}

// The music track, read, cut or padded to the video's length, faded out,
// encoded whole before the video starts (it is small) and then interleaved
// with the video packets by time.
class TAudioTrack {
public:
    TAudioTrack(const std::string& path, const std::string& out, const char* codecName, AVFormatContext* muxer,
                double seconds)
        : out_(out)
    {
        // Read through a descriptor known to be a regular file, so that a
        // FIFO put in its place meanwhile cannot block the open.
        file_ = OpenRegularFile(path);
        const std::string byFd = "/proc/self/fd/" + std::to_string(file_);
        const std::string source = access(byFd.c_str(), R_OK) == 0 ? byFd : path;
        int rc = avformat_open_input(&in_.p, ("file:" + source).c_str(), nullptr, nullptr);
        if (rc < 0)
            throw std::runtime_error(path + ": cannot open: " + AvError(rc));
        if ((rc = avformat_find_stream_info(in_, nullptr)) < 0)
            throw std::runtime_error(path + ": cannot read: " + AvError(rc));
        const AVCodec* decoder = nullptr;
        const int index = av_find_best_stream(in_, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
        if (index < 0 || !decoder)
            throw std::runtime_error(path + ": no audio in it");
        dec_.p = avcodec_alloc_context3(decoder);
        avcodec_parameters_to_context(dec_, in_->streams[index]->codecpar);
        dec_->pkt_timebase = in_->streams[index]->time_base;
        if ((rc = avcodec_open2(dec_, decoder, nullptr)) < 0)
            throw std::runtime_error(path + ": cannot decode: " + AvError(rc));

        const AVCodec* encoder = avcodec_find_encoder_by_name(codecName);
        if (!encoder)
            throw std::runtime_error(out + ": FFmpeg has no " + codecName + " encoder");
        enc_.p = avcodec_alloc_context3(encoder);
        enc_->sample_rate = 48000;
        av_channel_layout_default(&enc_->ch_layout, 2);
        enc_->sample_fmt = encoder->sample_fmts ? encoder->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
        enc_->bit_rate = 192000;
        enc_->time_base = {1, enc_->sample_rate};
        if (muxer->oformat->flags & AVFMT_GLOBALHEADER)
            enc_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if ((rc = avcodec_open2(enc_, encoder, nullptr)) < 0)
            throw std::runtime_error(out + ": cannot open the audio encoder: " + AvError(rc));
        stream_ = avformat_new_stream(muxer, nullptr);
        avcodec_parameters_from_context(stream_->codecpar, enc_);
        stream_->time_base = enc_->time_base;

        char layout[64] = {};
        av_channel_layout_describe(&dec_->ch_layout, layout, sizeof layout);
        if (!dec_->ch_layout.nb_channels || !layout[0])
            std::snprintf(layout, sizeof layout, "stereo");
        char args[256];
        std::snprintf(args, sizeof args, "time_base=%d/%d:sample_rate=%d:sample_fmt=%s:channel_layout=%s",
                      dec_->pkt_timebase.num, dec_->pkt_timebase.den, dec_->sample_rate,
                      av_get_sample_fmt_name(dec_->sample_fmt), layout);
        const double fade = std::min(2.0, seconds / 4);
        char filters[512];
        std::snprintf(filters, sizeof filters,
                      "aresample=48000,aformat=sample_fmts=%s:channel_layouts=stereo,apad=whole_dur=%.6f,"
                      "atrim=end=%.6f,afade=t=out:st=%.6f:d=%.6f",
                      av_get_sample_fmt_name(enc_->sample_fmt), seconds, seconds, seconds - fade, fade);
        graph_.Build("abuffer", args, "abuffersink", filters, out);
        if (!(encoder->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE) && enc_->frame_size > 0)
            av_buffersink_set_frame_size(graph_.sink, unsigned(enc_->frame_size));
        Encode(index);
    }

    AVStream* Stream() const { return stream_; }

    // Writes the packets that start up to seconds, which may be negative
    // (a video's first packets come before 0 when frames are reordered).
    void WriteUntil(AVFormatContext* muxer, double seconds)
    {
        while (!packets_.empty()) {
            AVPacket* p = packets_.front();
            if (p->dts * av_q2d(enc_->time_base) > seconds)
                break;
            packets_.pop_front();
            av_packet_rescale_ts(p, enc_->time_base, stream_->time_base);
            p->stream_index = stream_->index;
            const int rc = av_interleaved_write_frame(muxer, p);
            av_packet_free(&p);
            if (rc < 0)
                throw std::runtime_error(out_ + ": cannot write: " + AvError(rc));
        }
    }

    ~TAudioTrack()
    {
        for (AVPacket* p : packets_)
            av_packet_free(&p);
    }

private:
    void Encode(int index)
    {
        TPacketPtr in;
        in.p = av_packet_alloc();
        TFramePtr decoded, filtered;
        decoded.p = av_frame_alloc();
        filtered.p = av_frame_alloc();
        int64_t samples = 0;
        const auto drainEncoder = [&] {
            for (;;) {
                AVPacket* p = av_packet_alloc();
                const int rc = avcodec_receive_packet(enc_, p);
                if (rc < 0) {
                    av_packet_free(&p);
                    if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
                        return;
                    throw std::runtime_error(out_ + ": audio encoding failed: " + AvError(rc));
                }
                // In the encoder's time base: the muxer may change the stream's when it starts.
                packets_.push_back(p);
            }
        };
        const auto drainGraph = [&] {
            for (;;) {
                const int rc = av_buffersink_get_frame(graph_.sink, filtered);
                if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
                    return;
                if (rc < 0)
                    throw std::runtime_error(out_ + ": audio filtering failed: " + AvError(rc));
                filtered->pts = samples;
                samples += filtered->nb_samples;
                avcodec_send_frame(enc_, filtered);
                av_frame_unref(filtered);
                drainEncoder();
            }
        };
        const auto drainDecoder = [&] {
            while (avcodec_receive_frame(dec_, decoded) >= 0) {
                if (av_buffersrc_add_frame(graph_.src, decoded) < 0)
                    throw std::runtime_error(out_ + ": audio filtering failed");
                drainGraph();
            }
        };
        while (av_read_frame(in_, in) >= 0) {
            CheckInterrupted();
            if (in->stream_index == index && avcodec_send_packet(dec_, in) >= 0)
                drainDecoder();
            av_packet_unref(in);
        }
        avcodec_send_packet(dec_, nullptr);
        drainDecoder();
        if (av_buffersrc_add_frame(graph_.src, nullptr) < 0)
            throw std::runtime_error(out_ + ": audio filtering failed");
        drainGraph();
        avcodec_send_frame(enc_, nullptr);
        drainEncoder();
    }

    std::string out_;
    struct TFd {
        int fd = -1;
        TFd& operator=(int f) { fd = f; return *this; }
        operator int() const { return fd; }
        ~TFd() { if (fd >= 0) close(fd); }
    } file_; // before in_: closed after it
    TAvPtr<AVFormatContext, FreeInput> in_;
    TCodecPtr dec_, enc_;
    TGraph graph_;
    AVStream* stream_ = nullptr;
    std::deque<AVPacket*> packets_;
};

class TEncoder : public TFrameSink {
public:
    TEncoder(const std::string& out, TOutputKind kind, int32_t w, int32_t h, const TSinkOptions& options)
        : pending_(out, options.Overwrite), kind_(kind), w_(w), h_(h), rate_(options.Rate)
    {
        close(pending_.TakeFd()); // the muxer opens the file by name
        const TKindSetup setup = SetupOf(kind);
        const AVOutputFormat* format = av_guess_format(setup.Muxer, nullptr, nullptr);
        int rc = avformat_alloc_output_context2(&mux_.p, format, nullptr, nullptr);
        if (rc < 0)
            throw std::runtime_error(out + ": " + AvError(rc));
        const bool gif = kind == TOutputKind::Gif;
        const TCodecChoice* choice =
            gif ? nullptr : &ChooseCodec(out, kind, format, options.Codec.empty() ? setup.Codec : options.Codec);
        const char* codecName = gif ? setup.Codec : choice->Name;
        const AVCodec* codec = avcodec_find_encoder_by_name(codecName);
        if (!codec)
            throw std::runtime_error(out + ": FFmpeg has no " + codecName + " encoder");
        enc_.p = avcodec_alloc_context3(codec);
        const AVPixelFormat pixFmt = gif ? AV_PIX_FMT_PAL8 : ChoosePixFmt(out, *choice, codec, options.PixFmt);
        if (choice && (w < choice->MinSide || h < choice->MinSide))
            throw std::runtime_error(out + ": " + choice->Name + " takes frames of at least " +
                                     std::to_string(choice->MinSide) + "x" + std::to_string(choice->MinSide) +
                                     ", not " + std::to_string(w) + "x" + std::to_string(h));
        ew_ = w;
        eh_ = h;
        if (!gif)
            FitChroma(out, pixFmt, options.OddSize);
        enc_->width = ew_;
        enc_->height = eh_;
        enc_->time_base = {rate_.Den, rate_.Num};
        enc_->framerate = {rate_.Num, rate_.Den};
        enc_->pix_fmt = pixFmt;
        enc_->sample_aspect_ratio = {1, 1};
        // A key frame every two seconds: players seek, and editors cut, no
        // further than that from one.
        enc_->gop_size = std::max(1, int(std::lround(2.0 * rate_.Num / rate_.Den)));
        // Players that find no tags guess the matrix from the size (BT.709
        // from 1280x720 up), so the size chooses it here too, and the tags
        // say so for those that read them. The pictures are sRGB, whose
        // primaries are BT.709's at every size.
        const bool hd = ew_ >= 1280 || eh_ >= 720;
        if (!gif) {
            enc_->colorspace = hd ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
            enc_->color_primaries = AVCOL_PRI_BT709;
            enc_->color_trc = AVCOL_TRC_BT709;
            enc_->color_range = AVCOL_RANGE_MPEG;
        }
        if (mux_->oformat->flags & AVFMT_GLOBALHEADER)
            enc_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        AVDictionary* codecOptions = nullptr;
        // Freed however this ends: SetQuality refuses a bad value by throwing.
        const std::unique_ptr<AVDictionary*, void (*)(AVDictionary**)> freeOptions(&codecOptions, av_dict_free);
        if (choice) {
            SetQuality(out, *choice, options, enc_, &codecOptions);
            if (codec->id == AV_CODEC_ID_VP9 || codec->id == AV_CODEC_ID_AV1)
                av_dict_set(&codecOptions, "row-mt", "1", 0);
            // One line for a failure, as everywhere: not the encoders' own reports.
            if (codec->id == AV_CODEC_ID_HEVC)
                av_dict_set(&codecOptions, "x265-params", "log-level=error", 0);
            if (std::strcmp(codecName, "libsvtav1") == 0)
                setenv("SVT_LOG", "1", 0);
            if (codec->id == AV_CODEC_ID_PRORES)
                av_dict_set(&codecOptions, "vendor", "apl0", 0); // as Apple's own files say
            if (codec->id == AV_CODEC_ID_MPEG4) {
                enc_->flags |= AV_CODEC_FLAG_QSCALE;
                enc_->global_quality = FF_QP2LAMBDA * 3;
            }
        }
        rc = avcodec_open2(enc_, codec, &codecOptions);
        if (rc < 0)
            throw std::runtime_error(out + ": cannot open the " + codecName + " encoder: " + AvError(rc));
        stream_ = avformat_new_stream(mux_, nullptr);
        avcodec_parameters_from_context(stream_->codecpar, enc_);
        // Apple's players take HEVC in MP4 and QuickTime only under this tag.
        if (codec->id == AV_CODEC_ID_HEVC && (kind == TOutputKind::Mp4 || kind == TOutputKind::Mov))
            stream_->codecpar->codec_tag = MKTAG('h', 'v', 'c', '1');
        stream_->time_base = enc_->time_base;
        stream_->avg_frame_rate = enc_->framerate;

        if (!options.Audio.empty()) {
            if (!setup.AudioCodec)
                throw std::runtime_error(out + ": music goes with videos only");
            audio_ = std::make_unique<TAudioTrack>(options.Audio, out, setup.AudioCodec, mux_,
                                                   rate_.Seconds(std::max<int64_t>(1, options.TotalFrames)));
        }

        frame_.p = av_frame_alloc();
        packet_.p = av_packet_alloc();
        if (gif) {
            // One palette for the whole animation, made from all its frames,
            // which wait in memory for it; past a size that memory could not
            // hold, each frame gets its own palette and leaves at once.
            char args[160];
            std::snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=1/1", w, h,
                          int(AV_PIX_FMT_BGRA), rate_.Den, rate_.Num);
            const bool streaming = int64_t{w} * h * 4 * std::max<int64_t>(1, options.TotalFrames) > MaxBufferedGif;
            graph_.Build("buffer", args, "buffersink",
                         streaming ? "split[a][b];[a]palettegen=stats_mode=single[p];[b][p]paletteuse=new=1"
                                   : "split[a][b];[a]palettegen=stats_mode=full[p];[b][p]paletteuse",
                         out);
            const double seconds = rate_.Seconds(options.TotalFrames);
            if (seconds > LongGifSeconds)
                std::fprintf(stderr,
                             "mirel-render: %s: a GIF of %.0f s is large (256 colours a frame, compressed "
                             "frame by frame); .webp or .mp4 holds it in a fraction of the size\n",
                             out.c_str(), seconds);
            frame_->format = AV_PIX_FMT_BGRA;
            frame_->width = w;
            frame_->height = h;
        } else {
            sws_.p = sws_getContext(ew_, eh_, AV_PIX_FMT_BGRA, ew_, eh_, pixFmt, SWS_BILINEAR, nullptr, nullptr,
                                    nullptr);
            if (!sws_.p || sws_setColorspaceDetails(sws_.p, sws_getCoefficients(SWS_CS_DEFAULT), 1,
                                                    sws_getCoefficients(hd ? SWS_CS_ITU709 : SWS_CS_ITU601), 0,
                                                    0, 1 << 16, 1 << 16) < 0)
                throw std::runtime_error(out + ": cannot set up the colour conversion");
            frame_->format = pixFmt;
            frame_->width = ew_;
            frame_->height = eh_;
            frame_->colorspace = enc_->colorspace;
            frame_->color_primaries = enc_->color_primaries;
            frame_->color_trc = enc_->color_trc;
            frame_->color_range = enc_->color_range;
        }
        if ((rc = av_frame_get_buffer(frame_, 0)) < 0)
            throw std::runtime_error(out + ": " + AvError(rc));

        // The muxer reopens the file by this name to move its index to the front.
        mux_->url = av_strdup(("file:" + pending_.Path()).c_str());
        if ((rc = avio_open(&mux_->pb, mux_->url, AVIO_FLAG_WRITE)) < 0)
            throw std::runtime_error(out + ": cannot write: " + AvError(rc));
        AVDictionary* muxOptions = nullptr;
        if (kind == TOutputKind::Mp4 || kind == TOutputKind::Mov)
            av_dict_set(&muxOptions, "movflags", "+faststart", 0);
        if (gif)
            av_dict_set(&muxOptions, "loop", "0", 0);
        rc = avformat_write_header(mux_, &muxOptions);
        av_dict_free(&muxOptions);
        if (rc < 0)
            throw std::runtime_error(out + ": cannot write: " + AvError(rc));
    }

    // An output given up half way (interrupted, or a write failed): the GIF
    // muxer lets go of the frame it holds back only in its trailer, so the
    // trailer goes into the temporary that is about to be removed. Other
    // muxers free their state with the context, and an MP4's trailer would
    // rewrite the whole file to move its index.
    ~TEncoder() override
    {
        if (!trailerWritten_ && kind_ == TOutputKind::Gif)
            av_write_trailer(mux_);
    }

    void Write(const TBitmap& bitmap, int64_t repeat) override
    {
        CheckInterrupted();
        if (bitmap.Width() != w_ || bitmap.Height() != h_)
            throw std::logic_error("frame size changed");
        FramesWritten() += repeat;
        int rc = av_frame_make_writable(frame_);
        if (rc < 0)
            throw std::runtime_error(pending_.Final() + ": " + AvError(rc));
        if (kind_ == TOutputKind::Gif) {
            for (int32_t y = 0; y < h_; ++y)
                std::memcpy(frame_->data[0] + ptrdiff_t(y) * frame_->linesize[0], bitmap.PixelRow(y),
                            size_t(w_) * 4);
            frame_->pts = pts_;
            pts_ += repeat;
            lastRepeat_ = repeat;
            if ((rc = av_buffersrc_add_frame_flags(graph_.src, frame_, AV_BUFFERSRC_FLAG_KEEP_REF)) < 0)
                throw std::runtime_error(pending_.Final() + ": " + AvError(rc));
            DrainGraph();
            return;
        }
        const TBitmap* source = &bitmap;
        if (ew_ > w_ || eh_ > h_) {
            padded_.SetSize(ew_, eh_);
            for (int32_t y = 0; y < eh_; ++y) {
                uint32_t* row = padded_.PixelRow(y);
                std::memcpy(row, bitmap.PixelRow(std::min(y, h_ - 1)), size_t(w_) * 4);
                if (ew_ != w_)
                    row[w_] = row[w_ - 1];
            }
            source = &padded_;
        }
        const uint8_t* planes[1] = {source->Bits()};
        const int strides[1] = {source->BytesPerLine()};
        sws_scale(sws_.p, planes, strides, 0, eh_, frame_->data, frame_->linesize);
        // The same picture again costs the encoder little and the conversion nothing.
        for (int64_t i = 0; i < repeat; ++i) {
            if (i > 0)
                CheckInterrupted();
            frame_->pts = pts_++;
            Send(frame_);
        }
    }

    void Finish() override
    {
        if (kind_ == TOutputKind::Gif) {
            // The last frame keeps its full time.
            const int64_t delay = av_rescale(lastRepeat_, 100LL * rate_.Den, rate_.Num);
            av_opt_set_int(mux_->priv_data, "final_delay", std::max<int64_t>(1, delay), 0);
            if (av_buffersrc_add_frame(graph_.src, nullptr) < 0)
                throw std::runtime_error(pending_.Final() + ": GIF palette failed");
            DrainGraph();
        }
        Send(nullptr);
        // Music beyond the video (pictures left out) is cut.
        if (audio_)
            audio_->WriteUntil(mux_, rate_.Seconds(pts_));
        trailerWritten_ = true;
        int rc = av_write_trailer(mux_);
        if (rc >= 0)
            rc = avio_closep(&mux_->pb);
        if (rc < 0)
            throw std::runtime_error(pending_.Final() + ": cannot write: " + AvError(rc));
        pending_.Commit();
    }

private:
    // Chroma at half the resolution needs even sides (4:2:0) or an even
    // width (4:2:2): the frame gets them as asked, and says so.
    void FitChroma(const std::string& out, AVPixelFormat pixFmt, TSinkOptions::TOddSize how)
    {
        const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(pixFmt);
        const int32_t xs = int32_t(1) << desc->log2_chroma_w, ys = int32_t(1) << desc->log2_chroma_h;
        if (w_ % xs == 0 && h_ % ys == 0)
            return;
        const int32_t padW = (w_ + xs - 1) / xs * xs, padH = (h_ + ys - 1) / ys * ys;
        const int32_t cropW = w_ / xs * xs, cropH = h_ / ys * ys;
        const bool crop = how == TSinkOptions::TOddSize::Crop;
        if (crop && (cropW == 0 || cropH == 0))
            throw std::runtime_error(out + ": a " + std::to_string(w_) + "x" + std::to_string(h_) +
                                     " frame cannot be cut to even sides");
        ew_ = crop ? cropW : padW;
        eh_ = crop ? cropH : padH;
        std::fprintf(stderr,
                     "mirel-render: %s: %s video has %s; the %dx%d frame is %s to %dx%d "
                     "(--odd-size %s %s it to %dx%d)\n",
                     out.c_str(), desc->name, ys > 1 ? "even sides" : "an even width", int(w_), int(h_),
                     crop ? "cut" : "padded with its edge", int(ew_), int(eh_), crop ? "pad" : "crop",
                     crop ? "pads" : "cuts", int(crop ? padW : cropW), int(crop ? padH : cropH));
    }

    void DrainGraph()
    {
        TFramePtr out;
        out.p = av_frame_alloc();
        for (;;) {
            const int rc = av_buffersink_get_frame(graph_.sink, out);
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
                return;
            if (rc < 0)
                throw std::runtime_error(pending_.Final() + ": " + AvError(rc));
            Send(out);
            av_frame_unref(out);
        }
    }

    void Send(AVFrame* frame)
    {
        const double start = ThreadCpuSeconds();
        SendTimed(frame);
        EncoderCallSeconds() += ThreadCpuSeconds() - start;
    }

    void SendTimed(AVFrame* frame)
    {
        int rc = avcodec_send_frame(enc_, frame);
        if (rc < 0)
            throw std::runtime_error(pending_.Final() + ": encoding failed: " + AvError(rc));
        for (;;) {
            rc = avcodec_receive_packet(enc_, packet_);
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
                return;
            if (rc < 0)
                throw std::runtime_error(pending_.Final() + ": encoding failed: " + AvError(rc));
            av_packet_rescale_ts(packet_, enc_->time_base, stream_->time_base);
            packet_->stream_index = stream_->index;
            if (audio_)
                audio_->WriteUntil(mux_, packet_->dts * av_q2d(stream_->time_base));
            if ((rc = av_interleaved_write_frame(mux_, packet_)) < 0)
                throw std::runtime_error(pending_.Final() + ": cannot write: " + AvError(rc));
        }
    }

    TPendingFile pending_;
    TOutputKind kind_;
    int32_t w_, h_, ew_ = 0, eh_ = 0;
    TFrameRate rate_;
    TAvPtr<AVFormatContext, FreeFormat> mux_;
    TCodecPtr enc_;
    AVStream* stream_ = nullptr;
    TFramePtr frame_;
    TPacketPtr packet_;
    TSwsPtr sws_;
    TGraph graph_;
    TBitmap padded_;
    std::unique_ptr<TAudioTrack> audio_;
    int64_t pts_ = 0, lastRepeat_ = 1;
    bool trailerWritten_ = false;
};

} // namespace

} // namespace mirel

extern "C" {

__attribute__((visibility("default"))) const char* mirel_render_video_version()
{
    return MIREL_VERSION;
}

// Owned by the caller.
__attribute__((visibility("default"))) mirel::TFrameSink* mirel_render_open_encoder(
    const std::string& out, mirel::TOutputKind kind, int32_t width, int32_t height,
    const mirel::TSinkOptions& options)
{
    av_log_set_level(AV_LOG_ERROR);
    return new mirel::TEncoder(out, kind, width, height, options);
}

} // extern "C"

static_assert(std::is_same_v<decltype(&mirel_render_open_encoder), mirel::TOpenEncoderEntry>);
static_assert(std::is_same_v<decltype(&mirel_render_video_version), mirel::TModuleVersionEntry>);
