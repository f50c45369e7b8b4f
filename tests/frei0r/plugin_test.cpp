// mirel.so through the frei0r API, as MLT or GStreamer drive it: its
// description, its parameters, every style at odd sizes and at full HD, and
// frames that depend on nothing but their inputs and parameters, whatever was
// rendered before and on however many threads. Under the sanitizer build
// this is also the check that no frame reads or writes outside its buffers.
extern "C" {
#include <frei0r.h>
}

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

namespace mirel::test {
namespace {

using TFrame32 = std::vector<uint32_t>;

// The library opened with dlopen, as a host opens it, once for the run.
struct TPlugin {
    void* Lib = dlopen(MIREL_FREI0R_PLUGIN, RTLD_NOW | RTLD_LOCAL);
    template <typename F> F* Find(F*, const char* name) const { return reinterpret_cast<F*>(dlsym(Lib, name)); }
#define MIREL_F0R(fn) decltype(&::f0r_##fn) fn = Find(&::f0r_##fn, "f0r_" #fn)
    MIREL_F0R(init);
    MIREL_F0R(deinit);
    MIREL_F0R(get_plugin_info);
    MIREL_F0R(get_param_info);
    MIREL_F0R(construct);
    MIREL_F0R(destruct);
    MIREL_F0R(set_param_value);
    MIREL_F0R(get_param_value);
    MIREL_F0R(update);
    MIREL_F0R(update2);
#undef MIREL_F0R
    bool Complete() const
    {
        return Lib && init && deinit && get_plugin_info && get_param_info && construct && destruct &&
               set_param_value && get_param_value && update && update2;
    }
};

const TPlugin& Plugin()
{
    static const TPlugin plugin = [] {
        TPlugin p;
        if (p.init)
            p.init();
        return p;
    }();
    return plugin;
}

// A parameter's index, looked up by name as a host would.
int ParamIndex(const std::string& name)
{
    f0r_plugin_info_t info{};
    Plugin().get_plugin_info(&info);
    for (int i = 0; i < info.num_params; ++i) {
        f0r_param_info_t param{};
        Plugin().get_param_info(&param, i);
        if (param.name == name)
            return i;
    }
    ADD_FAILURE() << "no parameter " << name;
    return -1;
}

// One instance, with typed parameters.
class TMixerInstance {
public:
    TMixerInstance(unsigned w, unsigned h) : size_(size_t(w) * h), self_(Plugin().construct(w, h)) {}
    ~TMixerInstance()
    {
        if (self_)
            Plugin().destruct(self_);
    }
    TMixerInstance(const TMixerInstance&) = delete;
    TMixerInstance& operator=(const TMixerInstance&) = delete;

    bool Valid() const { return self_ != nullptr; }
    void Set(const std::string& name, double value) { Plugin().set_param_value(self_, &value, ParamIndex(name)); }
    void Set(const std::string& name, const char* text)
    {
        f0r_param_string value = const_cast<char*>(text);
        Plugin().set_param_value(self_, &value, ParamIndex(name));
    }
    double GetDouble(const std::string& name)
    {
        double value = -1;
        Plugin().get_param_value(self_, &value, ParamIndex(name));
        return value;
    }
    std::string GetString(const std::string& name)
    {
        f0r_param_string value = nullptr;
        Plugin().get_param_value(self_, &value, ParamIndex(name));
        return value ? value : "(null)";
    }
    // Starts from a sentinel, so that pixels left unwritten show.
    TFrame32 Mix(const TFrame32& a, const TFrame32& b)
    {
        TFrame32 out(size_, 0xDEADBEEFu);
        Plugin().update2(self_, 0, a.data(), b.data(), nullptr, out.data());
        return out;
    }

private:
    size_t size_;
    f0r_instance_t self_;
};

constexpr int Styles = 150;
constexpr uint32_t Opaque = 0xFF000000u; // the alpha byte, last in memory

// Pictures whose pixels tell where they came from: A's and B's values never
// coincide (the second byte is below 0x80 in A and above in B), and no
// frame's pixel is the sentinel the output starts as.
TFrame32 Picture(unsigned w, unsigned h, bool second)
{
    TFrame32 frame(size_t(w) * h);
    for (unsigned y = 0; y < h; ++y)
        for (unsigned x = 0; x < w; ++x) {
            const uint32_t g = second ? 0x80u | ((x + 3 * y) & 0x7Fu) : (x * 5 + y) & 0x7Fu;
            frame[size_t(y) * w + x] = Opaque | ((x * 29 + y * 7) & 0xFFu) << 16 | g << 8 | ((y * 11) & 0xFFu);
        }
    return frame;
}

std::string Describe(int style, unsigned w, unsigned h, double progress)
{
    return "style " + std::to_string(style) + " at " + std::to_string(w) + "x" + std::to_string(h) +
           " progress " + std::to_string(progress);
}

TEST(Frei0rPlugin, DescribesAMixerOfTwoRgbaInputsWithItsParameters)
{
    ASSERT_TRUE(Plugin().Complete()) << dlerror();
    f0r_plugin_info_t info{};
    Plugin().get_plugin_info(&info);
    EXPECT_STREQ(info.name, "mirel"); // MLT calls it frei0r.mirel, GStreamer frei0r-mixer-mirel
    EXPECT_EQ(info.plugin_type, F0R_PLUGIN_TYPE_MIXER2);
    EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_RGBA8888);
    EXPECT_EQ(info.frei0r_version, FREI0R_MAJOR_VERSION);

    const std::vector<std::pair<std::string, int>> expected = {{"style", F0R_PARAM_STRING},
                                                               {"progress", F0R_PARAM_DOUBLE},
                                                               {"step", F0R_PARAM_DOUBLE},
                                                               {"reverse", F0R_PARAM_BOOL},
                                                               {"seed", F0R_PARAM_DOUBLE}};
    ASSERT_EQ(info.num_params, int(expected.size()));
    for (int i = 0; i < info.num_params; ++i) {
        f0r_param_info_t param{};
        Plugin().get_param_info(&param, i);
        EXPECT_EQ(param.name, expected[size_t(i)].first);
        EXPECT_EQ(param.type, expected[size_t(i)].second) << param.name;
        EXPECT_TRUE(param.explanation && *param.explanation) << param.name;
    }

    // Defaults, then round trips. Step reads back as a fraction however it
    // was given.
    TMixerInstance mixer(16, 8);
    ASSERT_TRUE(mixer.Valid());
    EXPECT_EQ(mixer.GetString("style"), "84");
    EXPECT_EQ(mixer.GetDouble("progress"), 0);
    EXPECT_DOUBLE_EQ(mixer.GetDouble("step"), 0.04);
    EXPECT_EQ(mixer.GetDouble("reverse"), 0);
    EXPECT_EQ(mixer.GetDouble("seed"), 0);
    mixer.Set("progress", 0.25);
    mixer.Set("step", 10.0);
    mixer.Set("reverse", 1.0);
    mixer.Set("seed", 0.75);
    EXPECT_EQ(mixer.GetDouble("progress"), 0.25);
    EXPECT_DOUBLE_EQ(mixer.GetDouble("step"), 0.1);
    EXPECT_EQ(mixer.GetDouble("reverse"), 1);
    EXPECT_EQ(mixer.GetDouble("seed"), 0.75);

    // Sizes no bitmap can have give no instance rather than a crash later.
    EXPECT_EQ(Plugin().construct(0, 8), nullptr);
    EXPECT_EQ(Plugin().construct(1u << 21, 8), nullptr);
    EXPECT_EQ(Plugin().construct(40000, 40000), nullptr);
}

TEST(Frei0rPlugin, TakesStylesByNumberOrNameAndKeepsTheLastGoodOne)
{
    const unsigned w = 48, h = 32;
    const TFrame32 a = Picture(w, h, false), b = Picture(w, h, true);
    TMixerInstance byNumber(w, h), byName(w, h);
    byNumber.Set("progress", 0.5);
    byName.Set("progress", 0.5);

    const auto same = [&](const char* number, const char* name) {
        byNumber.Set("style", number);
        byName.Set("style", name);
        EXPECT_EQ(byName.GetString("style"), name);
        return byNumber.Mix(a, b) == byName.Mix(a, b);
    };
    EXPECT_TRUE(same("84", "circular REVEAL from centre"));
    EXPECT_TRUE(same(" 7 ", "  Expand in from right "));
    // Rows 33 and 34 repeat the names of 18 and 25: a name selects the first.
    EXPECT_TRUE(same("18", "Expand from bottom"));
    EXPECT_TRUE(same("25", "EXPAND IN FROM TOP"));
    EXPECT_FALSE(same("33", "Expand from bottom"));

    byName.Set("style", "Fade");
    const TFrame32 fade = byName.Mix(a, b);
    for (const char* bad : {"0", "151", "-3", "Custom", "no such style", "", "  ", "0084x", "99999999999"}) {
        byName.Set("style", bad);
        EXPECT_EQ(byName.GetString("style"), "Fade") << '"' << bad << '"';
        EXPECT_EQ(byName.Mix(a, b), fade) << '"' << bad << '"';
    }
}

// Every style at sizes no editor would use and a few it would: the ends are
// the inputs exactly, and in between every pixel comes from one of the two
// pictures (the fade mixes them, so it is checked by its own test).
class EveryStyle : public ::testing::TestWithParam<int> {};

TEST_P(EveryStyle, DrawsOnlyItsInputsAtOddSizes)
{
    const int style = GetParam();
    for (const auto& [w, h] : std::vector<std::pair<unsigned, unsigned>>{{1, 1}, {7, 3}, {3, 7}, {64, 48}}) {
        const TFrame32 a = Picture(w, h, false), b = Picture(w, h, true);
        std::unordered_set<uint32_t> inputs(a.begin(), a.end());
        inputs.insert(b.begin(), b.end());
        TMixerInstance mixer(w, h);
        ASSERT_TRUE(mixer.Valid());
        mixer.Set("style", std::to_string(style).c_str());
        for (const bool reverse : {false, true}) {
            mixer.Set("reverse", reverse ? 1.0 : 0.0);
            for (const double progress : {0.0, 0.5, 1.0, 0.01, 0.99}) {
                mixer.Set("progress", progress);
                const TFrame32 out = mixer.Mix(a, b);
                if (progress == 0)
                    EXPECT_EQ(out, a) << Describe(style, w, h, progress);
                else if (progress == 1)
                    EXPECT_EQ(out, b) << Describe(style, w, h, progress);
                else if (style == 118)
                    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint32_t p) { return p >> 24 == 0xFF; }));
                else
                    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [&](uint32_t p) { return inputs.count(p); }))
                        << Describe(style, w, h, progress) << (reverse ? " reversed" : "");
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Frei0rPlugin, EveryStyle, ::testing::Range(1, Styles + 1),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Style" + std::to_string(info.param);
                         });

TEST(Frei0rPlugin, DrawsFullHdFrames)
{
    const unsigned w = 1920, h = 1080;
    const TFrame32 a = Picture(w, h, false), b = Picture(w, h, true);
    TMixerInstance mixer(w, h);
    ASSERT_TRUE(mixer.Valid());
    mixer.Set("progress", 0.5);
    // One of each kind: region reveal, fade, rotation, shreds, speckles,
    // random squares, stretched push, rotating shape.
    for (const int style : {84, 118, 119, 65, 123, 127, 130, 150}) {
        mixer.Set("style", std::to_string(style).c_str());
        const TFrame32 out = mixer.Mix(a, b);
        EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint32_t p) { return p >> 24 == 0xFF; }))
            << "unwritten pixels in " << Describe(style, w, h, 0.5);
        EXPECT_NE(out, a) << style;
        EXPECT_NE(out, b) << style;
    }
}

TEST(Frei0rPlugin, FadesTheAlphaLikeTheColours)
{
    const unsigned w = 9, h = 2; // whole blocks of eight pixels and a few over
    const TFrame32 clear(w * h, 0x00000000u), white(w * h, 0xFFFFFFFFu);
    TMixerInstance mixer(w, h);
    mixer.Set("style", "fade");
    for (const auto& [progress, byte] : std::vector<std::pair<double, uint32_t>>{{0.5, 127}, {0.01, 2}, {0.99, 252}}) {
        mixer.Set("progress", progress);
        EXPECT_EQ(mixer.Mix(clear, white), TFrame32(w * h, byte * 0x01010101u)) << progress;
    }
}

TEST(Frei0rPlugin, ReverseRunsTheTransitionFromBToABackwards)
{
    const unsigned w = 40, h = 30;
    const TFrame32 a = Picture(w, h, false), b = Picture(w, h, true);
    TMixerInstance reversed(w, h), forward(w, h);
    reversed.Set("reverse", 1.0);
    for (const int style : {1, 84, 123, 127, 143}) {
        const std::string name = std::to_string(style);
        reversed.Set("style", name.c_str());
        forward.Set("style", name.c_str());
        for (const double progress : {0.2, 0.5, 0.73}) {
            reversed.Set("progress", progress);
            forward.Set("progress", 1 - progress);
            EXPECT_EQ(reversed.Mix(a, b), forward.Mix(b, a)) << Describe(style, w, h, progress);
        }
    }
}

TEST(Frei0rPlugin, StepIsAFractionOrAPercent)
{
    const unsigned w = 200, h = 100;
    const TFrame32 a = Picture(w, h, false), b = Picture(w, h, true);
    TMixerInstance mixer(w, h);
    mixer.Set("style", "Bars in from right");
    mixer.Set("progress", 0.4);
    const auto frame = [&](double step) {
        mixer.Set("step", step);
        return mixer.Mix(a, b);
    };
    EXPECT_EQ(frame(0.04), frame(4));
    EXPECT_EQ(frame(0.25), frame(25));
    EXPECT_EQ(frame(1), frame(100));
    EXPECT_EQ(frame(0), frame(0.01)); // at least 1 %
    EXPECT_NE(frame(0.04), frame(0.25));
}

TEST(Frei0rPlugin, TheSeedVariesOnlyTheRandomStyles)
{
    const unsigned w = 96, h = 64;
    const TFrame32 a = Picture(w, h, false), b = Picture(w, h, true);
    TMixerInstance mixer(w, h);
    mixer.Set("progress", 0.5);
    const auto frame = [&](int style, double seed) {
        mixer.Set("style", std::to_string(style).c_str());
        mixer.Set("seed", seed);
        return mixer.Mix(a, b);
    };
    for (const int shredOrSpeckle : {65, 77, 100, 108, 123, 126})
        EXPECT_NE(frame(shredOrSpeckle, 0.25), frame(shredOrSpeckle, 0.5)) << shredOrSpeckle;
    // Random squares reseed themselves at every frame, as in the show, so a
    // square once shown stays: the seed does not change them.
    for (const int fixed : {84, 118, 127})
        EXPECT_EQ(frame(fixed, 0.25), frame(fixed, 0.5)) << fixed;
}

// The frame of every style after different histories, on one instance and
// several, on several threads at once, equals the frame drawn first on a
// fresh instance.
TEST(Frei0rPlugin, FramesDependOnlyOnInputsAndParameters)
{
    const unsigned w = 72, h = 40;
    const TFrame32 a = Picture(w, h, false), b = Picture(w, h, true);
    const double progresses[] = {0.37, 0.81};
    const auto set = [](TMixerInstance& mixer, int style, double progress) {
        mixer.Set("style", std::to_string(style).c_str());
        mixer.Set("progress", progress);
        mixer.Set("seed", 0.125);
    };

    std::vector<TFrame32> expected; // style-major, then progress
    for (int style = 1; style <= Styles; ++style)
        for (const double progress : progresses) {
            TMixerInstance fresh(w, h);
            set(fresh, style, progress);
            expected.push_back(fresh.Mix(a, b));
        }

    // Each thread walks every frame in an order of its own on its own
    // instance, drawing an unrelated frame before each.
    const auto walk = [&](unsigned order, std::vector<size_t>& wrong) {
        std::vector<size_t> frames(expected.size());
        std::iota(frames.begin(), frames.end(), size_t{0});
        std::shuffle(frames.begin(), frames.end(), std::mt19937(order));
        TMixerInstance mixer(w, h);
        std::mt19937 noise(order + 100);
        for (const size_t frame : frames) {
            set(mixer, int(noise() % Styles) + 1, double(noise() % 1000) / 1000);
            mixer.Set("seed", double(noise() % 100) / 100);
            mixer.Mix(b, a);
            set(mixer, int(frame / 2) + 1, progresses[frame % 2]);
            if (mixer.Mix(a, b) != expected[frame])
                wrong.push_back(frame);
        }
    };
    std::vector<std::vector<size_t>> wrong(4);
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < wrong.size(); ++t)
        threads.emplace_back(walk, t, std::ref(wrong[t]));
    for (auto& thread : threads)
        thread.join();
    for (unsigned t = 0; t < wrong.size(); ++t)
        for (const size_t frame : wrong[t])
            ADD_FAILURE() << "thread " << t << ": " << Describe(int(frame / 2) + 1, w, h, progresses[frame % 2])
                          << " differs from the same frame drawn fresh";
}

} // namespace
} // namespace mirel::test
