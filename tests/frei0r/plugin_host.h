// The plugin as a host sees it: mirel.so opened with dlopen and driven only
// through the frei0r C API.
#pragma once

extern "C" {
#include <frei0r.h>
}

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace mirel::test {

using TFrame32 = std::vector<uint32_t>;

class TPlugin {
public:
    explicit TPlugin(const char* path)
    {
        lib_ = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        if (!lib_)
            return;
        Init = Load<decltype(Init)>("f0r_init");
        Deinit = Load<decltype(Deinit)>("f0r_deinit");
        GetPluginInfo = Load<decltype(GetPluginInfo)>("f0r_get_plugin_info");
        GetParamInfo = Load<decltype(GetParamInfo)>("f0r_get_param_info");
        Construct = Load<decltype(Construct)>("f0r_construct");
        Destruct = Load<decltype(Destruct)>("f0r_destruct");
        SetParam = Load<decltype(SetParam)>("f0r_set_param_value");
        GetParam = Load<decltype(GetParam)>("f0r_get_param_value");
        Update = Load<decltype(Update)>("f0r_update");
        Update2 = Load<decltype(Update2)>("f0r_update2");
        if (Init)
            Init();
    }
    ~TPlugin()
    {
        if (Deinit)
            Deinit();
        if (lib_)
            dlclose(lib_);
    }
    TPlugin(const TPlugin&) = delete;
    TPlugin& operator=(const TPlugin&) = delete;

    // Every function of the API was found.
    bool Complete() const
    {
        return lib_ && Init && Deinit && GetPluginInfo && GetParamInfo && Construct && Destruct && SetParam &&
               GetParam && Update && Update2;
    }

    int (*Init)() = nullptr;
    void (*Deinit)() = nullptr;
    void (*GetPluginInfo)(f0r_plugin_info_t*) = nullptr;
    void (*GetParamInfo)(f0r_param_info_t*, int) = nullptr;
    f0r_instance_t (*Construct)(unsigned, unsigned) = nullptr;
    void (*Destruct)(f0r_instance_t) = nullptr;
    void (*SetParam)(f0r_instance_t, f0r_param_t, int) = nullptr;
    void (*GetParam)(f0r_instance_t, f0r_param_t, int) = nullptr;
    void (*Update)(f0r_instance_t, double, const uint32_t*, uint32_t*) = nullptr;
    void (*Update2)(f0r_instance_t, double, const uint32_t*, const uint32_t*, const uint32_t*, uint32_t*) = nullptr;

private:
    template <typename F> F Load(const char* name) { return reinterpret_cast<F>(dlsym(lib_, name)); }
    void* lib_ = nullptr;
};

// The plugin under test, opened once for the whole run.
TPlugin& Plugin();

// Parameter indices, looked up by name as a host would.
int ParamIndex(const std::string& name);

// One instance with typed setters.
class TMixerInstance {
public:
    TMixerInstance(unsigned w, unsigned h) : w_(w), h_(h), self_(Plugin().Construct(w, h)) {}
    ~TMixerInstance()
    {
        if (self_)
            Plugin().Destruct(self_);
    }
    TMixerInstance(const TMixerInstance&) = delete;
    TMixerInstance& operator=(const TMixerInstance&) = delete;

    bool Valid() const { return self_ != nullptr; }

    void Set(const std::string& name, double value)
    {
        Plugin().SetParam(self_, &value, ParamIndex(name));
    }
    void Set(const std::string& name, const char* text)
    {
        f0r_param_string value = const_cast<char*>(text);
        Plugin().SetParam(self_, &value, ParamIndex(name));
    }
    double GetDouble(const std::string& name)
    {
        double value = -1;
        Plugin().GetParam(self_, &value, ParamIndex(name));
        return value;
    }
    std::string GetString(const std::string& name)
    {
        f0r_param_string value = nullptr;
        Plugin().GetParam(self_, &value, ParamIndex(name));
        return value ? value : "(null)";
    }
    TFrame32 Mix(const TFrame32& a, const TFrame32& b, double time = 0)
    {
        TFrame32 out(size_t(w_) * h_, 0xDEADBEEFu);
        Plugin().Update2(self_, time, a.data(), b.data(), nullptr, out.data());
        return out;
    }

private:
    unsigned w_, h_;
    f0r_instance_t self_;
};

} // namespace mirel::test
