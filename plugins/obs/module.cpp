// The transitions as one OBS Studio transition, "Mirel", with the style, the
// step, the direction and the duration in OBS's properties.
//
// OBS renders the two scenes into textures and hands them to the transition
// mid-way; the ends, where the frame is one scene whole, are drawn straight
// from that scene as OBS's own transitions draw them, and the sound is a
// cross-fade. The duration is the transition's own (a fixed duration), so
// that a style plays as long as it was chosen to, whatever OBS's transition
// duration says.
#include "plugins/mixer/mixer.h"
#include "plugins/obs/gpu_mixer.h"

#include "effects/catalogue.h"

#include <obs-module.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <mutex>
#include <random>
#include <string>

OBS_DECLARE_MODULE()
OBS_MODULE_USE_DEFAULT_LOCALE("mirel-obs", "en-US")

MODULE_EXPORT const char* obs_module_description(void)
{
    return "Mirel's 150 picture transitions as an OBS Studio transition";
}

namespace {

using mirel::mixer::ProgressPercent;
using mirel::mixer::TMixerParams;
using mirel::obs::TGpuMixer;

constexpr const char* Id = "mirel_transition";
constexpr int RandomStyle = 0;
constexpr int DefaultStyle = 84;
constexpr int DefaultStep = 4;
constexpr int DefaultDuration = 1000; // ms: 25 steps of 4 % at 25 frames a second
constexpr int MinDuration = 50, MaxDuration = 20000; // the range of OBS's own duration box

struct TSettings {
    int Style = DefaultStyle;
    int Step = DefaultStep;
    bool Reverse = false;
};

class TTransition {
public:
    explicit TTransition(obs_source_t* source) : Source(source) {}

    void Update(obs_data_t* data)
    {
        TSettings s;
        s.Style = int(obs_data_get_int(data, "style"));
        if (s.Style < 0 || s.Style > mirel::MaxShowStyle)
            s.Style = DefaultStyle;
        s.Step = int(std::clamp<long long>(obs_data_get_int(data, "step"), 1, 100));
        s.Reverse = obs_data_get_bool(data, "reverse");
        const auto duration = std::clamp<long long>(obs_data_get_int(data, "duration"), MinDuration, MaxDuration);
        {
            const std::lock_guard<std::mutex> lock(lock_);
            settings_ = s;
        }
        obs_transition_enable_fixed(Source, true, uint32_t(duration));
    }

    // The settings fixed for the transition that starts: a random style drawn
    // now, once, and a new seed, so that shreds and speckles differ from one
    // transition to the next but not from frame to frame.
    void Start()
    {
        const std::lock_guard<std::mutex> lock(lock_);
        playing_.Style = settings_.Style != RandomStyle
                             ? settings_.Style
                             : std::uniform_int_distribution<int>(1, mirel::MaxShowStyle)(generator_);
        playing_.Step = settings_.Step;
        playing_.Reverse = settings_.Reverse;
        playing_.Seed = double(generator_());
    }

    TMixerParams Playing(float t)
    {
        const std::lock_guard<std::mutex> lock(lock_);
        TMixerParams params = playing_;
        params.Progress = t;
        return params;
    }

    obs_source_t* const Source;
    TGpuMixer Gpu; // the render thread's

private:
    std::mutex lock_; // settings come from the interface's thread, frames are drawn on the render thread
    TSettings settings_;
    TMixerParams playing_;
    std::mt19937 generator_{std::random_device{}()};
};

void DrawTexture(gs_texture_t* texture, uint32_t cx, uint32_t cy)
{
    // Sampled as sRGB and written through an sRGB framebuffer, the bytes come
    // out as they went in on an 8-bit canvas, and as the right linear values
    // on a floating-point one.
    const bool previous = gs_framebuffer_srgb_enabled();
    gs_enable_framebuffer_srgb(true);
    gs_effect_t* effect = obs_get_base_effect(OBS_EFFECT_DEFAULT);
    gs_effect_set_texture_srgb(gs_effect_get_param_by_name(effect, "image"), texture);
    while (gs_effect_loop(effect, "Draw"))
        gs_draw_sprite(texture, 0, cx, cy);
    gs_enable_framebuffer_srgb(previous);
}

void DrawFrame(void* data, gs_texture_t* a, gs_texture_t* b, float t, uint32_t cx, uint32_t cy)
{
    auto* self = static_cast<TTransition*>(data);
    const TMixerParams params = self->Playing(t);
    gs_texture_t* frame = self->Gpu.Frame(a, b, cx, cy, params);
    if (!frame) { // a cut half-way rather than nothing
        static bool told = false;
        if (!told)
            blog(LOG_WARNING, "[mirel-obs] a frame of %ux%u could not be drawn; cutting instead", cx, cy);
        told = true;
        frame = t < 0.5f ? a : b;
    }
    DrawTexture(frame, cx, cy);
}

float MixA(void*, float t) { return 1.0f - t; }
float MixB(void*, float t) { return t; }

const char* GetName(void*) { return obs_module_text("MirelTransition"); }

void* Create(obs_data_t* settings, obs_source_t* source)
{
    try {
        auto* self = new TTransition(source);
        self->Update(settings);
        self->Start();
        return self;
    } catch (const std::exception&) {
        return nullptr;
    }
}

void Destroy(void* data)
{
    auto* self = static_cast<TTransition*>(data);
    obs_enter_graphics();
    self->Gpu.Release();
    obs_leave_graphics();
    delete self;
}

void Update(void* data, obs_data_t* settings) { static_cast<TTransition*>(data)->Update(settings); }

void TransitionStart(void* data) { static_cast<TTransition*>(data)->Start(); }

void VideoRender(void* data, gs_effect_t*)
{
    auto* self = static_cast<TTransition*>(data);
    // The frames at 0 and 100 % are the scenes themselves: drawn directly,
    // without reading anything back.
    const int32_t percent = ProgressPercent(obs_transition_get_time(self->Source));
    if (percent > 0 && percent < 100) {
        obs_transition_video_render(self->Source, DrawFrame);
        return;
    }
    const bool transitioning = obs_transition_video_render_direct(
        self->Source, percent <= 0 ? OBS_TRANSITION_SOURCE_A : OBS_TRANSITION_SOURCE_B);
    if (!transitioning) // the next transition makes them again; a 1080p canvas holds about 40 MB
        self->Gpu.Release();
}

bool AudioRender(void* data, uint64_t* ts_out, obs_source_audio_mix* audio, uint32_t mixers, size_t channels,
                 size_t sample_rate)
{
    return obs_transition_audio_render(static_cast<TTransition*>(data)->Source, ts_out, audio, mixers, channels,
                                       sample_rate, MixA, MixB);
}

// The mixer draws 8-bit pixels, so the scenes come to it as sRGB in 8 bits
// (OBS converts a wider canvas's scenes down and the frame back up).
gs_color_space VideoColorSpace(void*, size_t, const gs_color_space*) { return GS_CS_SRGB; }

void Defaults(obs_data_t* settings)
{
    obs_data_set_default_int(settings, "style", DefaultStyle);
    obs_data_set_default_int(settings, "step", DefaultStep);
    obs_data_set_default_bool(settings, "reverse", false);
    obs_data_set_default_int(settings, "duration", DefaultDuration);
}

obs_properties_t* Properties(void*)
{
    obs_properties_t* props = obs_properties_create();
    obs_property_t* style =
        obs_properties_add_list(props, "style", obs_module_text("Style"), OBS_COMBO_TYPE_LIST, OBS_COMBO_FORMAT_INT);
    obs_property_list_add_int(style, obs_module_text("Style.Random"), RandomStyle);
    // The number first, as mirel-render and the frei0r plugin know a style,
    // and because two pairs of styles share a name.
    for (int n = 1; n <= mirel::MaxShowStyle; ++n) {
        const std::string text = std::to_string(n) + "  " + std::string(mirel::StyleName(n));
        obs_property_list_add_int(style, text.c_str(), n);
    }
    obs_property_set_long_description(style, obs_module_text("Style.Description"));

    obs_property_t* step = obs_properties_add_int_slider(props, "step", obs_module_text("Step"), 1, 100, 1);
    obs_property_int_set_suffix(step, " %");
    obs_property_set_long_description(step, obs_module_text("Step.Description"));

    obs_property_t* reverse = obs_properties_add_bool(props, "reverse", obs_module_text("Reverse"));
    obs_property_set_long_description(reverse, obs_module_text("Reverse.Description"));

    obs_property_t* duration =
        obs_properties_add_int(props, "duration", obs_module_text("Duration"), MinDuration, MaxDuration, 50);
    obs_property_int_set_suffix(duration, " ms");
    return props;
}

} // namespace

bool obs_module_load(void)
{
    obs_source_info info = {};
    info.id = Id;
    info.type = OBS_SOURCE_TYPE_TRANSITION;
    info.output_flags = OBS_SOURCE_VIDEO | OBS_SOURCE_SRGB;
    info.get_name = GetName;
    info.create = Create;
    info.destroy = Destroy;
    info.update = Update;
    info.get_defaults = Defaults;
    info.get_properties = Properties;
    info.video_render = VideoRender;
    info.audio_render = AudioRender;
    info.transition_start = TransitionStart;
    info.video_get_color_space = VideoColorSpace;
    obs_register_source(&info);
    return true;
}
