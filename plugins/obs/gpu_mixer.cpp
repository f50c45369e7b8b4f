#include "plugins/obs/gpu_mixer.h"

#include <chrono>
#include <cstring>
#include <exception>

namespace mirel::obs {

namespace {

int64_t Now()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The effects treat the four bytes of a pixel alike, so any order of them
// will do as long as both scenes and the frame share it.
bool FourBytes(gs_color_format format)
{
    switch (format) {
    case GS_RGBA:
    case GS_BGRA:
    case GS_BGRX:
    case GS_RGBA_UNORM:
    case GS_BGRA_UNORM:
    case GS_BGRX_UNORM:
        return true;
    default:
        return false;
    }
}

bool Fits(gs_texture_t* texture, uint32_t cx, uint32_t cy)
{
    return texture && gs_texture_get_width(texture) == cx && gs_texture_get_height(texture) == cy;
}

// Rows of width pixels from rows line bytes apart into one block.
void CopyRows(uint32_t* to, const uint8_t* from, uint32_t width, uint32_t height, uint32_t line)
{
    for (uint32_t y = 0; y < height; ++y)
        std::memcpy(to + size_t(y) * width, from + size_t(y) * line, size_t(width) * 4);
}

} // namespace

bool TGpuMixer::Prepare(uint32_t cx, uint32_t cy, gs_color_format format)
{
    if (frame_ && cx == cx_ && cy == cy_ && format == format_)
        return true;
    Release();
    mixer_.emplace(int32_t(cx), int32_t(cy)); // throws for a size it cannot draw
    for (auto*& stage : stage_)
        stage = gs_stagesurface_create(cx, cy, format);
    frame_ = gs_texture_create(cx, cy, format, 1, nullptr, GS_DYNAMIC);
    if (!stage_[0] || !stage_[1] || !frame_) {
        Release();
        return false;
    }
    cx_ = cx;
    cy_ = cy;
    format_ = format;
    return true;
}

void TGpuMixer::Release()
{
    // (libobs complains of a destroy outside the graphics context even with
    // nothing to destroy, and a transition never drawn has nothing.)
    for (int i = 0; i < 2; ++i) {
        if (mapped_[i])
            gs_stagesurface_unmap(stage_[i]);
        mapped_[i] = false;
        if (stage_[i])
            gs_stagesurface_destroy(stage_[i]);
        stage_[i] = nullptr;
    }
    if (frame_)
        gs_texture_destroy(frame_);
    frame_ = nullptr;
    mixer_.reset();
    for (auto& copy : copies_)
        std::vector<uint32_t>().swap(copy);
    std::vector<uint32_t>().swap(clear_);
    cx_ = cy_ = 0;
    format_ = GS_UNKNOWN;
}

bool TGpuMixer::Read(int i, gs_texture_t* texture)
{
    const size_t pixels = size_t(cx_) * cy_;
    if (!texture) {
        if (clear_.size() != pixels)
            clear_.assign(pixels, 0);
        rows_[i] = clear_.data();
        return true;
    }
    uint8_t* data = nullptr;
    uint32_t line = 0;
    if (!gs_stagesurface_map(stage_[i], &data, &line))
        return false;
    mapped_[i] = true;
    if (line == cx_ * 4) { // the mixer reads the mapped rows themselves
        rows_[i] = reinterpret_cast<const uint32_t*>(data);
        return true;
    }
    copies_[i].resize(pixels);
    CopyRows(copies_[i].data(), data, cx_, cy_, line);
    rows_[i] = copies_[i].data();
    return true;
}

gs_texture_t* TGpuMixer::Frame(gs_texture_t* a, gs_texture_t* b, uint32_t cx, uint32_t cy,
                               const mixer::TMixerParams& params)
{
    const int64_t start = Now();
    gs_texture_t* const textures[2] = {Fits(a, cx, cy) ? a : nullptr, Fits(b, cx, cy) ? b : nullptr};
    gs_color_format format = GS_UNKNOWN;
    for (gs_texture_t* texture : textures) {
        if (!texture)
            continue;
        const gs_color_format own = gs_texture_get_color_format(texture);
        if (format != GS_UNKNOWN && own != format)
            return nullptr;
        format = own;
    }
    if (format == GS_UNKNOWN) // neither scene: a transparent frame
        format = GS_RGBA;
    if (!FourBytes(format))
        return nullptr;

    gs_texture_t* result = nullptr;
    bool frameMapped = false;
    try {
        if (!Prepare(cx, cy, format))
            return nullptr;
        // Both copies are queued before the first map waits for the device.
        for (int i = 0; i < 2; ++i)
            if (textures[i])
                gs_stage_texture(stage_[i], textures[i]);
        if (Read(0, textures[0]) && Read(1, textures[1])) {
            const int64_t read = Now();
            uint8_t* data = nullptr;
            uint32_t line = 0;
            frameMapped = gs_texture_map(frame_, &data, &line);
            if (frameMapped && line == cx * 4) { // drawn straight into the upload buffer
                mixer_->Render(params, rows_[0], rows_[1], reinterpret_cast<uint32_t*>(data));
                times_.Mix = Now() - read;
            } else {
                std::vector<uint32_t>& out = copies_[2];
                out.resize(size_t(cx) * cy);
                mixer_->Render(params, rows_[0], rows_[1], out.data());
                times_.Mix = Now() - read;
                if (frameMapped) {
                    for (uint32_t y = 0; y < cy; ++y)
                        std::memcpy(data + size_t(y) * line, out.data() + size_t(y) * cx, size_t(cx) * 4);
                } else {
                    gs_texture_set_image(frame_, reinterpret_cast<const uint8_t*>(out.data()), cx * 4, false);
                }
            }
            const int64_t mixed = Now();
            if (frameMapped)
                gs_texture_unmap(frame_);
            frameMapped = false;
            times_.Readback = read - start;
            times_.Upload = Now() - mixed;
            result = frame_;
        }
    } catch (const std::exception&) { // no memory for the frame, or a size the mixer refuses
        if (frameMapped)
            gs_texture_unmap(frame_);
        result = nullptr;
    }
    for (int i = 0; i < 2; ++i) {
        if (mapped_[i])
            gs_stagesurface_unmap(stage_[i]);
        mapped_[i] = false;
    }
    return result;
}

} // namespace mirel::obs
