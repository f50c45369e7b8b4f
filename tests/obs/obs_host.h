// libobs started the way OBS Studio starts it, without OBS's window: on the
// X display in DISPLAY, with the OpenGL renderer, modules found through
// module paths. For the OBS plugin's test and benchmark.
#pragma once

#include <obs.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace mirel::obs_host {

// Starts libobs with a canvas of width x height at fps frames a second, and
// its audio. Empty on success, else why it could not start (no display, no
// OpenGL). Call once.
std::string Start(uint32_t width, uint32_t height, uint32_t fps = 30);

// Loads the modules named from the module path bin (folder of .so files)
// with data/%module% as their data, and OBS's own modules named from where
// OBS installed them. Empty on success, else what failed.
std::string LoadModules(const std::string& bin, const std::string& data, const std::vector<std::string>& own,
                        const std::vector<std::string>& system);

void Stop();

// An image source showing the picture file.
obs_source_t* CreateImage(const std::string& name, const std::string& file);

// Runs action and waits, up to seconds, until the source has sent the
// signal (on whichever thread OBS sends it); false if it never did.
bool WaitForSignal(obs_source_t* source, const char* signal, const std::function<void()>& action, int seconds = 10);

// Applies settings to the source as OBS's properties window does, and waits
// until the render thread has handed them to the source: OBS defers the
// updates of video sources to its next tick.
bool Update(obs_source_t* source, obs_data_t* settings);

// Waits, up to a few seconds, until the render thread has ticked the
// transition to t of a manual transition; false if it never did.
bool WaitForTime(obs_source_t* transition, float t);

// The source drawn into target, width x height of the colour space, as OBS
// draws a canvas: cleared, then the source over it. Inside the graphics
// context; false when the target cannot be drawn into.
bool DrawCanvas(gs_texrender_t* target, obs_source_t* source, uint32_t width, uint32_t height,
                gs_color_space space = GS_CS_SRGB);

// The source rendered onto a width x height canvas of the colour space as OBS
// renders its own, and read back, rows top down without padding: RGBA bytes
// for sRGB, four half floats a pixel for GS_CS_SRGB_16F. Empty when the
// device could not render or read it.
std::vector<uint8_t> Render(obs_source_t* source, uint32_t width, uint32_t height,
                            gs_color_space space = GS_CS_SRGB);

} // namespace mirel::obs_host
