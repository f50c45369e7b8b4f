// Animated GIFs and videos encoded in process through FFmpeg's libraries.
#pragma once

#include "tools/render/frames.h"
#include "tools/render/output.h"

#include <memory>
#include <string>

namespace mirel {

// kind: Gif or a video kind. Throws std::runtime_error with one line.
std::unique_ptr<TFrameSink> OpenEncoder(const std::string& out, TOutputKind kind, int32_t width, int32_t height,
                                        const TSinkOptions& options);

} // namespace mirel
