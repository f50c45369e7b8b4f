// Animated GIFs and videos encoded in process through FFmpeg's libraries.
//
// The encoder is a module of its own, mirel-render-video.so, loaded the first
// time a GIF or a video is opened. FFmpeg's libraries bring some 170 others
// with them; linked into mirel-render, every still picture, contact sheet or
// --help would load and bind them all first (about 50 ms and 30 MB a start).
// The module finds the rest of mirel-render (the pending output file, the
// interrupt flag, the bitmaps) in the program that loads it.
#pragma once

#include "tools/render/frames.h"
#include "tools/render/output.h"

#include <memory>
#include <string>

namespace mirel {

// kind: Gif or a video kind. Throws std::runtime_error with one line, also
// when the module cannot be loaded.
std::unique_ptr<TFrameSink> OpenEncoder(const std::string& out, TOutputKind kind, int32_t width, int32_t height,
                                        const TSinkOptions& options);

// The module's entry points, looked up by these names.
using TOpenEncoderEntry = TFrameSink* (*)(const std::string& out, TOutputKind kind, int32_t width, int32_t height,
                                          const TSinkOptions& options);
inline constexpr const char* OpenEncoderEntryName = "mirel_render_open_encoder";
// The version of mirel-render the module was built with: a module left from
// another version is refused, as their bitmaps and options may differ.
using TModuleVersionEntry = const char* (*)();
inline constexpr const char* ModuleVersionName = "mirel_render_video_version";

} // namespace mirel
