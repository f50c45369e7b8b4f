// The OBS transition's cost per 1920x1080 frame inside libobs, on the
// display and OpenGL that bench/obs_bench.sh gives it (Xvfb and Mesa's
// software renderer, where the device's work is done by the processor too).
//
// Two measures. The transition's part alone: the two scene textures read
// back, the mixer's frame and its upload, by the plugin's own TGpuMixer on
// textures rendered from two pictures, in parts. And the whole transition as
// OBS renders it into a canvas, beside the same canvas showing one scene
// (what any transition costs OBS at its ends) and OBS's own GPU fade.
// Every measure waits until the device has finished the frame.
//
//   obs_bench PLUGIN_DIR A.png B.png [frames]
#include "plugins/obs/gpu_mixer.h"
#include "tests/obs/obs_host.h"

#include <graphics/vec4.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr uint32_t Width = 1920, Height = 1080;

double Ms(std::chrono::steady_clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

struct TStats {
    double Median, Mean, Low, High;
};

TStats Summary(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    double sum = 0;
    for (double x : v)
        sum += x;
    return {v[v.size() / 2], sum / double(v.size()), v.front(), v[v.size() * 9 / 10]};
}

void Print(const char* what, const TStats& s)
{
    std::printf("  %-44s median %6.2f  mean %6.2f  min %6.2f  p90 %6.2f ms\n", what, s.Median, s.Mean, s.Low, s.High);
}

// Waits until the device has drawn into texture: one pixel of it drawn and
// read back, which the device can give only once everything before is done.
struct TSync {
    gs_texrender_t* Pixel = gs_texrender_create(GS_RGBA, GS_ZS_NONE);
    gs_stagesurf_t* Stage = gs_stagesurface_create(1, 1, GS_RGBA);
    ~TSync()
    {
        gs_stagesurface_destroy(Stage);
        gs_texrender_destroy(Pixel);
    }
    void Wait(gs_texture_t* texture)
    {
        gs_texrender_reset(Pixel);
        if (gs_texrender_begin(Pixel, 1, 1)) {
            gs_ortho(0.0f, 1.0f, 0.0f, 1.0f, -100.0f, 100.0f);
            gs_effect_t* effect = obs_get_base_effect(OBS_EFFECT_DEFAULT);
            gs_effect_set_texture(gs_effect_get_param_by_name(effect, "image"), texture);
            while (gs_effect_loop(effect, "Draw"))
                gs_draw_sprite(texture, 0, 1, 1);
            gs_texrender_end(Pixel);
        }
        gs_stage_texture(Stage, gs_texrender_get_texture(Pixel));
        uint8_t* data;
        uint32_t line;
        if (gs_stagesurface_map(Stage, &data, &line))
            gs_stagesurface_unmap(Stage);
    }
};

obs_source_t* Transition(const char* id, obs_source_t* a, obs_source_t* b, int style, float t)
{
    obs_data_t* settings = obs_data_create();
    obs_data_set_int(settings, "style", style);
    obs_source_t* transition = obs_source_create_private(id, id, settings);
    obs_data_release(settings);
    if (!transition)
        return nullptr;
    obs_transition_set_size(transition, Width, Height);
    obs_transition_set(transition, a);
    obs_transition_start(transition, OBS_TRANSITION_MODE_MANUAL, 0, b);
    obs_transition_set_manual_time(transition, t);
    mirel::obs_host::WaitForTime(transition, t);
    return transition;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: obs_bench PLUGIN_DIR A.png B.png [frames]\n");
        return 2;
    }
    const int frames = argc > 4 ? std::max(10, std::atoi(argv[4])) : 120;
    if (const std::string error = mirel::obs_host::Start(Width, Height); !error.empty()) {
        std::fprintf(stderr, "libobs cannot start: %s\n", error.c_str());
        return 1;
    }
    if (const std::string error = mirel::obs_host::LoadModules(argv[1], std::string(argv[1]) + "/data", {"mirel-obs"},
                                                               {"image-source", "obs-transitions"});
        !error.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    obs_source_t* a = mirel::obs_host::CreateImage("A", argv[2]);
    obs_source_t* b = mirel::obs_host::CreateImage("B", argv[3]);
    if (obs_source_get_width(a) != Width || obs_source_get_width(b) != Width) {
        std::fprintf(stderr, "the pictures must be %ux%u\n", Width, Height);
        return 1;
    }
    std::printf("%ux%u, %d frames a measure, after 10 unmeasured\n", Width, Height, frames);

    // The transition's part alone, on the textures OBS would hand it.
    obs_enter_graphics();
    {
        TSync sync;
        gs_texrender_t* scenes[2] = {gs_texrender_create(GS_RGBA, GS_ZS_NONE), gs_texrender_create(GS_RGBA, GS_ZS_NONE)};
        mirel::obs_host::DrawCanvas(scenes[0], a, Width, Height);
        mirel::obs_host::DrawCanvas(scenes[1], b, Width, Height);
        gs_texture_t* textures[2] = {gs_texrender_get_texture(scenes[0]), gs_texrender_get_texture(scenes[1])};
        std::printf("the transition's part (readback + mixer + upload), style at 50 %%:\n");
        for (const int style : {84, 118, 130, 136}) {
            mirel::obs::TGpuMixer mixer;
            mirel::mixer::TMixerParams params;
            params.Style = style;
            params.Progress = 0.5;
            std::vector<double> whole, read, mix, upload;
            for (int i = 0; i < frames + 10; ++i) {
                const auto start = std::chrono::steady_clock::now();
                gs_texture_t* frame = mixer.Frame(textures[0], textures[1], Width, Height, params);
                sync.Wait(frame);
                const auto end = std::chrono::steady_clock::now();
                if (i < 10)
                    continue;
                whole.push_back(Ms(end - start));
                read.push_back(mixer.Times().Readback / 1e6);
                mix.push_back(mixer.Times().Mix / 1e6);
                upload.push_back(Ms(end - start) - (mixer.Times().Readback + mixer.Times().Mix) / 1e6);
            }
            std::printf(" style %d\n", style);
            Print("whole", Summary(whole));
            Print("readback of both scenes", Summary(read));
            Print("mixer", Summary(mix));
            Print("upload, until the device has the frame", Summary(upload));
            mixer.Release();
        }
        gs_texrender_destroy(scenes[0]);
        gs_texrender_destroy(scenes[1]);
    }
    obs_leave_graphics();

    // Whole canvases as OBS renders them.
    std::printf("a canvas rendered by OBS at 50 %% of the transition:\n");
    struct TCase {
        const char* What;
        const char* Id;
        int Style;
        float T;
    };
    const TCase cases[] = {
        {"one scene (any transition at its ends)", "mirel_transition", 84, 0.0f},
        {"OBS's own fade, on the device", "fade_transition", 0, 0.5f},
        {"Mirel 84, circular reveal", "mirel_transition", 84, 0.5f},
        {"Mirel 118, fade", "mirel_transition", 118, 0.5f},
        {"Mirel 130, push and squeeze", "mirel_transition", 130, 0.5f},
    };
    for (const TCase& c : cases) {
        obs_source_t* transition = Transition(c.Id, a, b, c.Style, c.T);
        if (!transition) {
            std::printf("  %-44s (not available)\n", c.What);
            continue;
        }
        std::vector<double> times;
        obs_enter_graphics();
        {
            TSync sync;
            gs_texrender_t* canvas = gs_texrender_create(GS_RGBA, GS_ZS_NONE);
            for (int i = 0; i < frames + 10; ++i) {
                const auto start = std::chrono::steady_clock::now();
                mirel::obs_host::DrawCanvas(canvas, transition, Width, Height);
                sync.Wait(gs_texrender_get_texture(canvas));
                if (i >= 10)
                    times.push_back(Ms(std::chrono::steady_clock::now() - start));
            }
            gs_texrender_destroy(canvas);
        }
        obs_leave_graphics();
        Print(c.What, Summary(times));
        obs_source_release(transition);
    }
    obs_source_release(a);
    obs_source_release(b);
    mirel::obs_host::Stop();
    return 0;
}
