#include "tests/obs/obs_host.h"

#include <graphics/vec4.h>
#include <obs-nix-platform.h>
#include <obsconfig.h>

#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

namespace mirel::obs_host {

namespace {

Display* display = nullptr;

std::string VideoError(int code)
{
    switch (code) {
    case OBS_VIDEO_NOT_SUPPORTED:
        return "the OpenGL device lacks what OBS needs";
    case OBS_VIDEO_MODULE_NOT_FOUND:
        return "libobs-opengl was not found";
    case OBS_VIDEO_INVALID_PARAM:
        return "invalid video settings";
    default:
        return "OpenGL could not be started (code " + std::to_string(code) + ")";
    }
}

struct TFind {
    const std::string* Bin;
    const std::vector<std::string>* Own;
    const std::vector<std::string>* System;
    std::vector<std::string> Loaded;
    std::string Error;
};

bool Contains(const std::vector<std::string>& names, const char* name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

} // namespace

std::string Start(uint32_t width, uint32_t height, uint32_t fps)
{
    // libobs's warnings and errors only, on standard error: its debug and
    // information lines would bury the tests' own.
    base_set_log_handler(
        [](int level, const char* format, va_list args, void*) {
            if (level > LOG_WARNING)
                return;
            std::fprintf(stderr, "libobs: ");
            std::vfprintf(stderr, format, args);
            std::fputc('\n', stderr);
        },
        nullptr);
    const char* name = std::getenv("DISPLAY");
    display = XOpenDisplay(nullptr);
    if (!display)
        return std::string("cannot open the X display ") + (name ? name : "(DISPLAY is not set)");
    // As OBS Studio itself sets them up on X11: the platform before startup.
    obs_set_nix_platform(OBS_NIX_PLATFORM_X11_EGL);
    obs_set_nix_platform_display(display);
    if (!obs_startup("en-US", nullptr, nullptr))
        return "obs_startup failed";

    obs_video_info video = {};
    video.graphics_module = "libobs-opengl";
    video.fps_num = fps;
    video.fps_den = 1;
    video.base_width = video.output_width = width;
    video.base_height = video.output_height = height;
    video.output_format = VIDEO_FORMAT_RGBA;
    video.adapter = 0;
    video.gpu_conversion = true;
    video.colorspace = VIDEO_CS_SRGB;
    video.range = VIDEO_RANGE_FULL;
    video.scale_type = OBS_SCALE_BICUBIC;
    if (const int code = obs_reset_video(&video); code != OBS_VIDEO_SUCCESS)
        return VideoError(code);
    const obs_audio_info audio = {48000, SPEAKERS_STEREO};
    if (!obs_reset_audio(&audio))
        return "obs_reset_audio failed";
    return {};
}

std::string LoadModules(const std::string& bin, const std::string& data, const std::vector<std::string>& own,
                        const std::vector<std::string>& system)
{
    obs_add_module_path(bin.c_str(), (data + "/%module%").c_str());
    // OBS's own modules where this libobs was installed, which is also where
    // obs_startup has pointed its search.
    const std::string prefix = std::string(OBS_INSTALL_PREFIX) + "/";
    obs_add_module_path((prefix + OBS_PLUGIN_DESTINATION).c_str(),
                        (prefix + OBS_DATA_PATH + "/obs-plugins/%module%").c_str());
    TFind find{&bin, &own, &system, {}, {}};
    obs_find_modules2(
        [](void* param, const obs_module_info2* info) {
            auto& f = *static_cast<TFind*>(param);
            const bool ours = std::strncmp(info->bin_path, f.Bin->c_str(), f.Bin->size()) == 0;
            // Ours only from the given folder, never an installed copy.
            if (!(ours ? Contains(*f.Own, info->name) : Contains(*f.System, info->name)) ||
                Contains(f.Loaded, info->name))
                return;
            obs_module_t* module = nullptr;
            if (obs_open_module(&module, info->bin_path, info->data_path) != MODULE_SUCCESS ||
                !obs_init_module(module)) {
                f.Error += std::string("cannot load ") + info->bin_path + "; ";
                return;
            }
            f.Loaded.push_back(info->name);
        },
        &find);
    obs_post_load_modules();
    for (const auto* names : {&own, &system})
        for (const std::string& name : *names)
            if (!Contains(find.Loaded, name.c_str()))
                find.Error += "module " + name + " not found; ";
    return find.Error;
}

void Stop()
{
    obs_shutdown();
    if (display)
        XCloseDisplay(display);
    display = nullptr;
}

obs_source_t* CreateImage(const std::string& name, const std::string& file)
{
    obs_data_t* settings = obs_data_create();
    obs_data_set_string(settings, "file", file.c_str());
    obs_source_t* source = obs_source_create("image_source", name.c_str(), settings, nullptr);
    obs_data_release(settings);
    return source;
}

bool WaitForSignal(obs_source_t* source, const char* signal, const std::function<void()>& action, int seconds)
{
    struct TSent {
        std::mutex Lock;
        std::condition_variable Changed;
        bool Sent = false;
    } sent;
    const signal_callback_t note = [](void* data, calldata_t*) {
        auto* s = static_cast<TSent*>(data);
        const std::lock_guard<std::mutex> lock(s->Lock);
        s->Sent = true;
        s->Changed.notify_all();
    };
    signal_handler_t* signals = obs_source_get_signal_handler(source);
    signal_handler_connect(signals, signal, note, &sent);
    action();
    {
        std::unique_lock<std::mutex> lock(sent.Lock);
        sent.Changed.wait_for(lock, std::chrono::seconds(seconds), [&] { return sent.Sent; });
    }
    signal_handler_disconnect(signals, signal, note, &sent);
    return sent.Sent;
}

bool Update(obs_source_t* source, obs_data_t* settings)
{
    return WaitForSignal(source, "update", [&] { obs_source_update(source, settings); });
}

bool WaitForTime(obs_source_t* transition, float t)
{
    for (int i = 0; i < 1000; ++i) {
        if (obs_transition_get_time(transition) == t)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

bool DrawCanvas(gs_texrender_t* target, obs_source_t* source, uint32_t width, uint32_t height, gs_color_space space)
{
    gs_texrender_reset(target);
    if (!gs_texrender_begin_with_color_space(target, width, height, space))
        return false;
    vec4 clear;
    vec4_zero(&clear);
    gs_clear(GS_CLEAR_COLOR, &clear, 0.0f, 0);
    gs_ortho(0.0f, float(width), 0.0f, float(height), -100.0f, 100.0f);
    gs_blend_state_push();
    gs_reset_blend_state();
    obs_source_video_render(source);
    gs_blend_state_pop();
    gs_texrender_end(target);
    return true;
}

std::vector<uint8_t> Render(obs_source_t* source, uint32_t width, uint32_t height, gs_color_space space)
{
    const gs_color_format format = gs_get_format_from_space(space);
    const size_t row = size_t(width) * (gs_get_format_bpp(format) / 8);
    std::vector<uint8_t> pixels;
    obs_enter_graphics();
    gs_texrender_t* target = gs_texrender_create(format, GS_ZS_NONE);
    gs_stagesurf_t* stage = gs_stagesurface_create(width, height, format);
    if (target && stage && DrawCanvas(target, source, width, height, space)) {
        gs_stage_texture(stage, gs_texrender_get_texture(target));
        uint8_t* data = nullptr;
        uint32_t line = 0;
        if (gs_stagesurface_map(stage, &data, &line)) {
            pixels.resize(row * height);
            for (uint32_t y = 0; y < height; ++y)
                std::memcpy(pixels.data() + y * row, data + size_t(y) * line, row);
            gs_stagesurface_unmap(stage);
        }
    }
    gs_stagesurface_destroy(stage);
    gs_texrender_destroy(target);
    obs_leave_graphics();
    return pixels;
}

} // namespace mirel::obs_host
