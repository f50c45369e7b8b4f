// The OBS Studio transition inside libobs, as OBS Studio meets it: the module
// found on a module path and loaded by libobs, its properties as OBS's
// properties window reads them, and its frames drawn on the graphics device
// between two image sources and read back from the device, held against
// mirel-render's frames of the same pictures.
//
// Run by obs_test.sh, which starts Xvfb and makes the pictures; the program
// exits 77 (skipped) when libobs cannot start OpenGL on that display.
#include "tests/obs/obs_host.h"

#include "effects/catalogue.h"
#include "picture/load.h"

#include <gtest/gtest.h>
#include <obs-module.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace mirel::test {
namespace {

constexpr uint32_t Width = 320, Height = 240;
constexpr const char* TransitionId = "mirel_transition";

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The two pictures and mirel-render, from obs_test.sh.
const std::string Work = Env("MIREL_OBS_WORK");
const std::string PictureA = Work + "/a.png", PictureB = Work + "/b.png";

using TRgba = std::vector<uint8_t>; // Width x Height RGBA bytes, as read back

// mirel-render's frame, as RGBA bytes.
TRgba Reference(const std::string& oldPicture, const std::string& newPicture, int style, int step, int percent)
{
    const std::string out = Work + "/ref-" + std::to_string(style) + "-" + std::to_string(step) + "-" +
                            std::to_string(percent) + (oldPicture == PictureA ? "" : "-r") + ".png";
    const std::string command = "'" + Env("MIREL_RENDER") + "' --old '" + oldPicture + "' --new '" + newPicture +
                                "' --style " + std::to_string(style) + " --step " + std::to_string(step) +
                                " --progress " + std::to_string(percent) + " --size " + std::to_string(Width) +
                                "x" + std::to_string(Height) + " -y --out '" + out + "'";
    if (std::system(command.c_str()) != 0) {
        ADD_FAILURE() << "failed: " << command;
        return {};
    }
    TBitmap frame;
    LoadPicture(out, frame);
    TRgba rgba;
    for (int32_t y = 0; y < frame.Height(); ++y)
        for (int32_t x = 0; x < frame.Width(); ++x) {
            const uint32_t p = frame.Pixel(x, y); // 0xAARRGGBB
            rgba.insert(rgba.end(), {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p), uint8_t(p >> 24)});
        }
    return rgba;
}

// The frame as a PNG beside the pictures, for a look at a failure (KEEP_WORK=1
// keeps the folder).
std::string Keep(const TRgba& frame, uint32_t width, uint32_t height, const std::string& name)
{
    const std::string raw = Work + "/" + name + ".rgba", png = Work + "/" + name + ".png";
    if (FILE* f = std::fopen(raw.c_str(), "wb")) {
        std::fwrite(frame.data(), 1, frame.size(), f);
        std::fclose(f);
    }
    const std::string command = "convert -size " + std::to_string(width) + "x" + std::to_string(height) +
                                " -depth 8 rgba:'" + raw + "' '" + png + "'";
    return std::system(command.c_str()) == 0 ? png : "(not kept)";
}

// Pixels whose colour is off by more than tolerance levels in any channel.
struct TDifference {
    size_t Pixels = 0;
    int Largest = 0;
};

TDifference Compare(const TRgba& a, const TRgba& b, int tolerance)
{
    TDifference d;
    for (size_t i = 0; i + 3 < std::min(a.size(), b.size()); i += 4) {
        int worst = 0;
        for (size_t c = 0; c < 4; ++c)
            worst = std::max(worst, std::abs(int(a[i + c]) - int(b[i + c])));
        d.Largest = std::max(d.Largest, worst);
        d.Pixels += worst > tolerance;
    }
    return d;
}

// A frame should match the mirel-render's within two levels a channel (the
// device decodes and encodes sRGB twice on the way, each exact to a level)
// in all but 1 % of the pixels.
constexpr int Tolerance = 2;
constexpr size_t AllowedPixels = Width * Height / 100;

class TObsTransition : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        a_ = obs_host::CreateImage("A", PictureA);
        b_ = obs_host::CreateImage("B", PictureB);
    }
    static void TearDownTestSuite()
    {
        obs_source_release(a_);
        obs_source_release(b_);
    }

    void SetUp() override
    {
        ASSERT_TRUE(a_ && b_);
        ASSERT_EQ(obs_source_get_width(a_), Width) << "the picture did not load: " << PictureA;
        transition_ = obs_source_create_private(TransitionId, "Mirel", nullptr);
        ASSERT_NE(transition_, nullptr);
        obs_transition_set_size(transition_, Width, Height);
    }
    void TearDown() override { obs_source_release(transition_); }

    void Configure(int style, int step, bool reverse)
    {
        obs_data_t* settings = obs_data_create();
        obs_data_set_int(settings, "style", style);
        obs_data_set_int(settings, "step", step);
        obs_data_set_bool(settings, "reverse", reverse);
        EXPECT_TRUE(obs_host::Update(transition_, settings)) << "the settings were never applied";
        obs_data_release(settings);
    }

    // A manual transition from A to B, started afresh and held at t, on a
    // canvas of width x height.
    TRgba FrameAt(float t, uint32_t width = Width, uint32_t height = Height, gs_color_space space = GS_CS_SRGB)
    {
        obs_transition_set(transition_, a_);
        EXPECT_TRUE(obs_transition_start(transition_, OBS_TRANSITION_MODE_MANUAL, 0, b_));
        obs_transition_set_manual_time(transition_, t);
        EXPECT_TRUE(obs_host::WaitForTime(transition_, t)) << "the transition never reached " << t;
        TRgba frame = obs_host::Render(transition_, width, height, space);
        EXPECT_FALSE(frame.empty()) << "nothing was read back";
        return frame;
    }

    static inline obs_source_t* a_ = nullptr;
    static inline obs_source_t* b_ = nullptr;
    obs_source_t* transition_ = nullptr;
};

TEST(ObsModule, OffersTheTransitionWithItsPropertiesAndDefaults)
{
    bool listed = false;
    const char* id = nullptr;
    for (size_t i = 0; obs_enum_transition_types(i, &id); ++i)
        listed = listed || std::string(id) == TransitionId;
    ASSERT_TRUE(listed) << "the transition is not registered";
    // The name comes from the module's locale file, found through its data path.
    EXPECT_STREQ(obs_source_get_display_name(TransitionId), "Mirel");

    obs_properties_t* props = obs_get_source_properties(TransitionId);
    ASSERT_NE(props, nullptr);
    obs_property_t* style = obs_properties_get(props, "style");
    ASSERT_NE(style, nullptr);
    EXPECT_EQ(obs_property_get_type(style), OBS_PROPERTY_LIST);
    EXPECT_EQ(obs_property_list_format(style), OBS_COMBO_FORMAT_INT);
    ASSERT_EQ(obs_property_list_item_count(style), size_t(MaxShowStyle) + 1);
    EXPECT_STREQ(obs_property_list_item_name(style, 0), "Random");
    EXPECT_EQ(obs_property_list_item_int(style, 0), 0);
    for (int n = 1; n <= MaxShowStyle; ++n) {
        EXPECT_EQ(obs_property_list_item_name(style, n), std::to_string(n) + "  " + std::string(StyleName(n)));
        EXPECT_EQ(obs_property_list_item_int(style, n), n);
    }
    obs_property_t* step = obs_properties_get(props, "step");
    ASSERT_NE(step, nullptr);
    EXPECT_EQ(obs_property_get_type(step), OBS_PROPERTY_INT);
    EXPECT_EQ(obs_property_int_min(step), 1);
    EXPECT_EQ(obs_property_int_max(step), 100);
    obs_property_t* reverse = obs_properties_get(props, "reverse");
    ASSERT_NE(reverse, nullptr);
    EXPECT_EQ(obs_property_get_type(reverse), OBS_PROPERTY_BOOL);
    obs_property_t* duration = obs_properties_get(props, "duration");
    ASSERT_NE(duration, nullptr);
    EXPECT_EQ(obs_property_get_type(duration), OBS_PROPERTY_INT);
    EXPECT_STREQ(obs_property_description(duration), "Duration");
    obs_properties_destroy(props);

    obs_data_t* defaults = obs_get_source_defaults(TransitionId);
    EXPECT_EQ(obs_data_get_int(defaults, "style"), 84);
    EXPECT_EQ(obs_data_get_int(defaults, "step"), 4);
    EXPECT_FALSE(obs_data_get_bool(defaults, "reverse"));
    EXPECT_EQ(obs_data_get_int(defaults, "duration"), 1000);
    obs_data_release(defaults);

    // OBS's own duration box gives way to the transition's duration.
    obs_source_t* transition = obs_source_create_private(TransitionId, "Mirel", nullptr);
    ASSERT_NE(transition, nullptr);
    EXPECT_TRUE(obs_transition_fixed(transition));
    obs_source_release(transition);
}

struct TFrameCase {
    int Style, Step;
    bool Reverse;
    std::vector<int> Percents;
};

TEST_F(TObsTransition, FramesMatchMirelRender)
{
    const TFrameCase cases[] = {
        {84, 4, false, {0, 25, 50, 80, 100}}, // circular reveal, the default
        {118, 4, false, {10, 50, 90}},        // the fade, which blends every pixel
        {136, 10, false, {30, 70}},           // vertical blind, slats as wide as the step says
        {60, 4, false, {45}},                 // bars in from right
        {130, 4, false, {40}},                // push and squeeze: scaled copies
        {3, 4, true, {35}},                   // slide in from right, reversed
        {84, 4, true, {60}},
    };
    for (const TFrameCase& c : cases) {
        Configure(c.Style, c.Step, c.Reverse);
        for (const int percent : c.Percents) {
            SCOPED_TRACE("style " + std::to_string(c.Style) + " step " + std::to_string(c.Step) +
                         (c.Reverse ? " reversed" : "") + " at " + std::to_string(percent) + " %");
            const TRgba frame = FrameAt(float(percent) / 100.0f);
            // Reversed, B goes back to A: mirel-render's frame from B to A at
            // the remaining percent.
            const TRgba reference = c.Reverse ? Reference(PictureB, PictureA, c.Style, c.Step, 100 - percent)
                                              : Reference(PictureA, PictureB, c.Style, c.Step, percent);
            ASSERT_EQ(reference.size(), frame.size());
            const TDifference d = Compare(frame, reference, Tolerance);
            EXPECT_LE(d.Pixels, AllowedPixels)
                << d.Pixels << " pixels differ, by up to " << d.Largest << " levels; the frame: "
                << Keep(frame, Width, Height,
                        "frame-" + std::to_string(c.Style) + "-" + std::to_string(percent) + (c.Reverse ? "-r" : ""));
        }
    }
}

// A half float's value.
float HalfValue(uint16_t h)
{
    const int exponent = (h >> 10) & 0x1F, mantissa = h & 0x3FF;
    const float v = exponent == 0 ? std::ldexp(float(mantissa), -24) : std::ldexp(float(mantissa | 0x400), exponent - 25);
    return h & 0x8000 ? -v : v;
}

// Linear RGBA half floats as the 8-bit sRGB levels they stand for.
TRgba SrgbLevels(const std::vector<uint8_t>& halves)
{
    TRgba rgba;
    for (size_t i = 0; i + 1 < halves.size(); i += 2) {
        const float v = std::clamp(HalfValue(uint16_t(halves[i] | halves[i + 1] << 8)), 0.0f, 1.0f);
        const bool alpha = i / 2 % 4 == 3;
        const float encoded = alpha || v <= 0.0031308f ? (alpha ? v : 12.92f * v) : 1.055f * std::pow(v, 1 / 2.4f) - 0.055f;
        rgba.push_back(uint8_t(std::lround(encoded * 255)));
    }
    return rgba;
}

TEST_F(TObsTransition, FramesKeepTheirColoursOnAFloatingPointCanvas)
{
    // OBS's 16-bit and HDR canvases hold linear light in floating point: the
    // frame must arrive there as the light of its sRGB colours, not as the
    // sRGB numbers taken for light.
    for (const int style : {118, 84}) {
        SCOPED_TRACE("style " + std::to_string(style));
        Configure(style, 4, false);
        const TRgba frame = SrgbLevels(FrameAt(0.5f, Width, Height, GS_CS_SRGB_16F));
        const TRgba reference = Reference(PictureA, PictureB, style, 4, 50);
        ASSERT_EQ(frame.size(), reference.size());
        const TDifference d = Compare(frame, reference, Tolerance);
        EXPECT_LE(d.Pixels, AllowedPixels) << d.Pixels << " pixels differ, by up to " << d.Largest << " levels";
    }
}

TEST_F(TObsTransition, RandomDrawsAStyleAtEachStart)
{
    Configure(0, 4, false);
    const TRgba a = FrameAt(0.0f);
    const TRgba b = Reference(PictureA, PictureB, 84, 4, 100);
    std::set<TRgba> frames;
    for (int i = 0; i < 5; ++i) {
        const TRgba frame = FrameAt(0.5f);
        // Half-way, every style shows something of both pictures.
        EXPECT_GT(Compare(frame, a, Tolerance).Pixels, AllowedPixels);
        EXPECT_GT(Compare(frame, b, Tolerance).Pixels, AllowedPixels);
        frames.insert(frame);
    }
    EXPECT_GE(frames.size(), 2u) << "five starts drew one style";
}

TEST_F(TObsTransition, FramesFollowTheCanvasSize)
{
    // First at the pictures' size, then on a smaller canvas, where OBS scales
    // the scenes down: the fade half-way is then the mean of OBS's own two
    // end frames at that size.
    Configure(118, 4, false);
    EXPECT_LE(Compare(FrameAt(0.5f), Reference(PictureA, PictureB, 118, 4, 50), Tolerance).Pixels, AllowedPixels);
    constexpr uint32_t W = 203, H = 151; // odd, and not the pictures' aspect
    obs_transition_set_size(transition_, W, H);
    const TRgba first = FrameAt(0.0f, W, H), half = FrameAt(0.5f, W, H), last = FrameAt(0.999f, W, H);
    ASSERT_EQ(first.size(), half.size());
    ASSERT_EQ(last.size(), half.size());
    TRgba mean(half.size());
    for (size_t i = 0; i < mean.size(); ++i)
        mean[i] = uint8_t((first[i] + last[i] + 1) / 2);
    const TDifference d = Compare(half, mean, Tolerance);
    EXPECT_LE(d.Pixels, size_t(W) * H / 100) << d.Pixels << " pixels differ, by up to " << d.Largest << " levels";
}

TEST_F(TObsTransition, PlaysOnOBSThreadsForItsOwnDuration)
{
    // OBS's render and audio threads play an automatic transition; it lasts
    // the transition's own 200 ms, not the ten minutes the host asks for.
    obs_data_t* settings = obs_data_create();
    obs_data_set_int(settings, "duration", 200);
    EXPECT_TRUE(obs_host::Update(transition_, settings));
    obs_data_release(settings);

    struct TStop {
        std::mutex Lock;
        std::condition_variable Done;
        bool Stopped = false;
    } stop;
    signal_handler_t* signals = obs_source_get_signal_handler(transition_);
    const signal_callback_t onStop = [](void* data, calldata_t*) {
        auto* s = static_cast<TStop*>(data);
        const std::lock_guard<std::mutex> lock(s->Lock);
        s->Stopped = true;
        s->Done.notify_all();
    };
    signal_handler_connect(signals, "transition_stop", onStop, &stop);
    obs_transition_set(transition_, a_);
    obs_set_output_source(0, transition_);
    ASSERT_TRUE(obs_transition_start(transition_, OBS_TRANSITION_MODE_AUTO, 600000, b_));
    {
        std::unique_lock<std::mutex> lock(stop.Lock);
        stop.Done.wait_for(lock, std::chrono::seconds(60), [&] { return stop.Stopped; });
    }
    obs_set_output_source(0, nullptr);
    signal_handler_disconnect(signals, "transition_stop", onStop, &stop);
    EXPECT_TRUE(stop.Stopped) << "the transition did not end";
    obs_source_t* active = obs_transition_get_active_source(transition_);
    EXPECT_EQ(active, b_);
    obs_source_release(active);
}

} // namespace
} // namespace mirel::test

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (const std::string error = mirel::obs_host::Start(mirel::test::Width, mirel::test::Height); !error.empty()) {
        std::printf("skipped: libobs cannot start here: %s\n", error.c_str());
        return 77;
    }
    const std::string error =
        mirel::obs_host::LoadModules(mirel::test::Env("MIREL_OBS_PLUGINS"), mirel::test::Env("MIREL_OBS_DATA"),
                                     {"mirel-obs"}, {"image-source"});
    int status = 1;
    if (!error.empty())
        std::printf("FAILED to load the modules: %s\n", error.c_str());
    else
        status = RUN_ALL_TESTS();
    mirel::obs_host::Stop();
    return status;
}
