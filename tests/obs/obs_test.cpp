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

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
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

// Whether a frame read back from OBS equals mirel-render's within tolerance
// levels a channel in all but 1 % of its pixels.
//
// On Mesa's software OpenGL the frames are exact. The one level allowed is
// for devices that round differently: the pictures pass through the device's
// sRGB decoding and encoding twice, in the image source and in the
// transition's own drawing, which OpenGL does not require to be exact.
::testing::AssertionResult Matches(const TRgba& frame, const TRgba& reference, int tolerance = 1)
{
    if (frame.size() != reference.size() || frame.empty())
        return ::testing::AssertionFailure() << "sizes differ: " << frame.size() << " and " << reference.size();
    size_t pixels = 0;
    int largest = 0;
    for (size_t i = 0; i + 3 < frame.size(); i += 4) {
        int worst = 0;
        for (size_t c = 0; c < 4; ++c)
            worst = std::max(worst, std::abs(int(frame[i + c]) - int(reference[i + c])));
        largest = std::max(largest, worst);
        pixels += worst > tolerance;
    }
    if (pixels <= frame.size() / 4 / 100)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << pixels << " of " << frame.size() / 4 << " pixels differ, by up to "
                                         << largest << " levels";
}

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
    const auto property = [props](const char* name, obs_property_type type) {
        obs_property_t* p = obs_properties_get(props, name);
        EXPECT_TRUE(p && obs_property_get_type(p) == type) << name;
        return p;
    };
    obs_property_t* style = property("style", OBS_PROPERTY_LIST);
    ASSERT_TRUE(style && obs_property_list_format(style) == OBS_COMBO_FORMAT_INT);
    ASSERT_EQ(obs_property_list_item_count(style), size_t(MaxShowStyle) + 1);
    EXPECT_STREQ(obs_property_list_item_name(style, 0), "Random");
    EXPECT_EQ(obs_property_list_item_int(style, 0), 0);
    for (int n = 1; n <= MaxShowStyle; ++n) {
        EXPECT_EQ(obs_property_list_item_name(style, n), std::to_string(n) + "  " + std::string(StyleName(n)));
        EXPECT_EQ(obs_property_list_item_int(style, n), n);
    }
    obs_property_t* step = property("step", OBS_PROPERTY_INT);
    ASSERT_TRUE(step);
    EXPECT_EQ(obs_property_int_min(step), 1);
    EXPECT_EQ(obs_property_int_max(step), 100);
    property("reverse", OBS_PROPERTY_BOOL);
    property("duration", OBS_PROPERTY_INT);
    obs_properties_destroy(props);

    obs_data_t* defaults = obs_get_source_defaults(TransitionId);
    EXPECT_EQ(obs_data_get_int(defaults, "style"), 84);
    EXPECT_EQ(obs_data_get_int(defaults, "step"), 4);
    EXPECT_FALSE(obs_data_get_bool(defaults, "reverse"));
    EXPECT_EQ(obs_data_get_int(defaults, "duration"), 1000);
    obs_data_release(defaults);

    // OBS's own duration box gives way to the transition's duration.
    obs_source_t* transition = obs_source_create_private(TransitionId, "Mirel", nullptr);
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
            EXPECT_TRUE(Matches(frame, c.Reverse ? Reference(PictureB, PictureA, c.Style, c.Step, 100 - percent)
                                                 : Reference(PictureA, PictureB, c.Style, c.Step, percent)));
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
        EXPECT_TRUE(Matches(SrgbLevels(FrameAt(0.5f, Width, Height, GS_CS_SRGB_16F)),
                            Reference(PictureA, PictureB, style, 4, 50)));
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
        EXPECT_FALSE(Matches(frame, a));
        EXPECT_FALSE(Matches(frame, b));
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
    EXPECT_TRUE(Matches(FrameAt(0.5f), Reference(PictureA, PictureB, 118, 4, 50)));
    constexpr uint32_t W = 203, H = 151; // odd, and not the pictures' aspect
    obs_transition_set_size(transition_, W, H);
    const TRgba first = FrameAt(0.0f, W, H), half = FrameAt(0.5f, W, H), last = FrameAt(0.999f, W, H);
    ASSERT_EQ(first.size(), last.size());
    TRgba mean(first.size());
    for (size_t i = 0; i < mean.size(); ++i)
        mean[i] = uint8_t((first[i] + last[i] + 1) / 2);
    EXPECT_TRUE(Matches(half, mean)); // a level apart where the two round their halves differently
}

TEST_F(TObsTransition, PlaysOnOBSThreadsForItsOwnDuration)
{
    // OBS's render and audio threads play an automatic transition; it lasts
    // the transition's own 200 ms, not the ten minutes the host asks for.
    obs_data_t* settings = obs_data_create();
    obs_data_set_int(settings, "duration", 200);
    EXPECT_TRUE(obs_host::Update(transition_, settings));
    obs_data_release(settings);

    obs_transition_set(transition_, a_);
    obs_set_output_source(0, transition_);
    const bool stopped = obs_host::WaitForSignal(
        transition_, "transition_stop",
        [&] { EXPECT_TRUE(obs_transition_start(transition_, OBS_TRANSITION_MODE_AUTO, 600000, b_)); }, 60);
    obs_set_output_source(0, nullptr);
    EXPECT_TRUE(stopped) << "the transition did not end";
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
