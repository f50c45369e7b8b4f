// The mixer between textures: OBS hands a transition the two scenes as
// textures on the graphics device, and the effects draw in memory. A frame
// reads both textures back through staging surfaces, draws with the mixer and
// uploads the result into a texture of its own, which the caller draws.
//
// Everything here runs in OBS's graphics context (its render thread, or a
// caller inside obs_enter_graphics), destruction included. The surfaces and
// the texture live from one frame to the next and are made again only when
// the size or the pixel format changes; Release gives them back between
// transitions.
#pragma once

#include "plugins/mixer/mixer.h"

#include <graphics/graphics.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace mirel::obs {

// How long the parts of the last frame took, in nanoseconds: reading the two
// textures back (waiting for the device included), the mixer's drawing, and
// sending the frame to the device.
struct TFrameTimes {
    int64_t Readback = 0;
    int64_t Mix = 0;
    int64_t Upload = 0;
};

class TGpuMixer {
public:
    TGpuMixer() = default;
    ~TGpuMixer() { Release(); }
    TGpuMixer(const TGpuMixer&) = delete;
    TGpuMixer& operator=(const TGpuMixer&) = delete;

    // The frame between a and b, each cx x cy, as a texture of that size that
    // stays valid until the next call. a or b may be null or a stand-in of
    // another size (OBS's placeholder for a missing scene), which reads as
    // transparent. Null when the frame cannot be drawn: textures whose pixels
    // are not four bytes, or no memory for the size.
    gs_texture_t* Frame(gs_texture_t* a, gs_texture_t* b, uint32_t cx, uint32_t cy,
                        const mixer::TMixerParams& params);

    // Gives the surfaces, the texture and the mixer's memory back.
    void Release();

    const TFrameTimes& Times() const { return times_; }

private:
    bool Prepare(uint32_t cx, uint32_t cy, gs_color_format format);
    // Stages texture i and points rows_[i] at its pixels, contiguous.
    bool Read(int i, gs_texture_t* texture);

    uint32_t cx_ = 0, cy_ = 0;
    gs_color_format format_ = GS_UNKNOWN;
    gs_stagesurf_t* stage_[2] = {nullptr, nullptr};
    bool mapped_[2] = {false, false};
    gs_texture_t* frame_ = nullptr;
    std::optional<mixer::TMixer> mixer_;
    const uint32_t* rows_[2] = {nullptr, nullptr};
    // Pixels copied out of surfaces whose rows are padded, the frame when the
    // texture's are, and a transparent picture for a missing scene.
    std::vector<uint32_t> copies_[3];
    std::vector<uint32_t> clear_;
    TFrameTimes times_;
};

} // namespace mirel::obs
