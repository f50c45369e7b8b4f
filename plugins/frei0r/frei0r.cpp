// The frei0r face of the mixer: the five functions around an instance, the
// parameters described once in a table, and nothing shared between instances.
// Every entry point is noexcept in effect: an exception never crosses into the
// host (a frame that cannot be drawn comes out as clip A).
#include "plugins/mixer/mixer.h"

#include "effects/catalogue.h"

extern "C" {
#include <frei0r.h> // declares the API without C linkage of its own
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <string>

#define MIREL_F0R_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using mirel::mixer::TMixer;
using mirel::mixer::TMixerParams;

enum TParam { pmStyle, pmProgress, pmStep, pmReverse, pmSeed, ParamCount };

constexpr f0r_param_info_t ParamInfo[ParamCount] = {
    {"style", F0R_PARAM_STRING,
     "The transition: a number 1..150 or its name in any case, e.g. 84 or \"Circular reveal from centre\""},
    {"progress", F0R_PARAM_DOUBLE, "Position in the transition: 0 shows the first input, 1 the second"},
    {"step", F0R_PARAM_DOUBLE,
     "Width of the bands some styles draw in, as a fraction 0.01..1 (0.04 is 4 %; MLT also takes 4)"},
    {"reverse", F0R_PARAM_BOOL, "Play the transition from the second input to the first backwards"},
    {"seed", F0R_PARAM_DOUBLE, "Seed of the shred and speckle styles: each value gives other shapes"},
};

struct TInstance {
    TInstance(int32_t w, int32_t h) : Mixer(w, h) {}
    TMixer Mixer;
    TMixerParams Params;
    std::string StyleText = "84";
};

// Says once per process that text names no style. Hosts such as MLT set
// every parameter again before each frame, and the user wants one line, not
// one a frame. The names said are the only thing instances share; no frame
// depends on them.
void WarnUnknownStyle(const char* text, const std::string& kept)
{
    static std::mutex mutex;
    static std::set<std::string> said;
    {
        const std::lock_guard lock(mutex);
        // A host that keyframes nonsense cannot grow the set without bound.
        if (said.size() >= 64 || !said.insert(text).second)
            return;
    }
    std::fprintf(stderr, "mirel: no style \"%s\" (a number 1..150 or a name); keeping %s\n", text, kept.c_str());
}

// step as a fraction of 1, or as a percent when above 1 (MLT passes numbers
// through as written, and 4 reads naturally as 4 %).
int StepPercent(double value)
{
    if (!std::isfinite(value))
        return 4;
    const double percent = value <= 1 ? value * 100 : value;
    return int(std::clamp(std::lround(percent), 1L, 100L));
}

} // namespace

MIREL_F0R_EXPORT int f0r_init() { return 1; }

MIREL_F0R_EXPORT void f0r_deinit() {}

MIREL_F0R_EXPORT void f0r_get_plugin_info(f0r_plugin_info_t* info)
{
    info->name = "mirel";
    info->author = "Mirel";
    info->plugin_type = F0R_PLUGIN_TYPE_MIXER2;
    info->color_model = F0R_COLOR_MODEL_RGBA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = 0;
    info->minor_version = 1;
    info->num_params = ParamCount;
    info->explanation = "150 transitions from the first input to the second: reveals, sweeps, bars, shreds, "
                        "blinds, pushes, a fade, pivots, speckles and rotating shapes";
}

MIREL_F0R_EXPORT void f0r_get_param_info(f0r_param_info_t* info, int index)
{
    if (index >= 0 && index < ParamCount)
        *info = ParamInfo[index];
}

MIREL_F0R_EXPORT f0r_instance_t f0r_construct(unsigned int width, unsigned int height)
{
    if (width == 0 || height == 0 || width > unsigned(mirel::TBitmap::MaxSide) ||
        height > unsigned(mirel::TBitmap::MaxSide))
        return nullptr;
    try {
        return new TInstance(int32_t(width), int32_t(height));
    } catch (const std::exception&) { // too large, or out of memory
        return nullptr;
    }
}

MIREL_F0R_EXPORT void f0r_destruct(f0r_instance_t instance) { delete static_cast<TInstance*>(instance); }

MIREL_F0R_EXPORT void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int index)
{
    auto* self = static_cast<TInstance*>(instance);
    if (!self || !param)
        return;
    const auto number = [param] { return *static_cast<const double*>(param); };
    switch (index) {
    case pmStyle: {
        const char* text = *static_cast<const char* const*>(param);
        if (!text)
            return;
        try {
            const int style = mirel::mixer::ParseStyle(text);
            if (style == 0) {
                WarnUnknownStyle(text, self->StyleText);
                return;
            }
            self->StyleText = text;
            self->Params.Style = style;
        } catch (const std::exception&) {
        }
        return;
    }
    case pmProgress:
        self->Params.Progress = number();
        return;
    case pmStep:
        self->Params.Step = StepPercent(number());
        return;
    case pmReverse:
        self->Params.Reverse = number() >= 0.5;
        return;
    case pmSeed:
        self->Params.Seed = number();
        return;
    default:
        return;
    }
}

MIREL_F0R_EXPORT void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int index)
{
    auto* self = static_cast<TInstance*>(instance);
    if (!self || !param)
        return;
    auto* value = static_cast<double*>(param);
    switch (index) {
    case pmStyle:
        *static_cast<const char**>(param) = self->StyleText.c_str();
        return;
    case pmProgress:
        *value = self->Params.Progress;
        return;
    case pmStep:
        *value = self->Params.Step / 100.0;
        return;
    case pmReverse:
        *value = self->Params.Reverse ? 1.0 : 0.0;
        return;
    case pmSeed:
        *value = self->Params.Seed;
        return;
    default:
        return;
    }
}

MIREL_F0R_EXPORT void f0r_update2(f0r_instance_t instance, double /*time*/, const uint32_t* inframe1,
                                  const uint32_t* inframe2, const uint32_t* /*inframe3*/, uint32_t* outframe)
{
    auto* self = static_cast<TInstance*>(instance);
    if (!self || !outframe)
        return;
    const size_t bytes = size_t(self->Mixer.Width()) * size_t(self->Mixer.Height()) * 4;
    if (!inframe1 || !inframe2) { // a host that hands one input gets it back
        if (const uint32_t* only = inframe1 ? inframe1 : inframe2)
            std::memcpy(outframe, only, bytes);
        return;
    }
    try {
        self->Mixer.Render(self->Params, inframe1, inframe2, outframe);
    } catch (const std::exception&) {
        std::memcpy(outframe, inframe1, bytes);
    }
}

// Mixers are driven through f0r_update2; a host calling this one gets its
// single input back.
MIREL_F0R_EXPORT void f0r_update(f0r_instance_t instance, double time, const uint32_t* inframe, uint32_t* outframe)
{
    f0r_update2(instance, time, inframe, nullptr, nullptr, outframe);
}
