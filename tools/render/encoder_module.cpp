// Loads the video encoder module (see encode.h) on first use.
#include "tools/render/encode.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <stdexcept>

namespace mirel {

namespace {

constexpr const char* ModuleFile = "mirel-render-video.so";

// The folder of the running program, with its trailing slash.
std::string ProgramFolder()
{
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return {};
    const std::string program(path, size_t(n));
    return program.substr(0, program.rfind('/') + 1);
}

struct TModule {
    TOpenEncoderEntry Open = nullptr;
    std::string Error; // why Open is missing
};

TModule Load()
{
    TModule module;
    const std::string folder = ProgramFolder();
    // Beside the program in a build tree; installed, in the library folder
    // beside the program's.
    std::string tried;
    for (const std::string& candidate : {folder + ModuleFile, folder + MIREL_VIDEO_MODULE_DIR "/" + ModuleFile}) {
        if (access(candidate.c_str(), F_OK) != 0) {
            tried += (tried.empty() ? "" : " or ") + candidate;
            continue;
        }
        void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            module.Error = dlerror();
            return module;
        }
        const auto versionOf = reinterpret_cast<TModuleVersionEntry>(dlsym(handle, ModuleVersionName));
        const std::string version = versionOf ? versionOf() : "(unknown)";
        if (version != MIREL_VERSION) {
            module.Error = candidate + " is from mirel-render " + version + ", not " + MIREL_VERSION;
            dlclose(handle);
            return module;
        }
        module.Open = reinterpret_cast<TOpenEncoderEntry>(dlsym(handle, OpenEncoderEntryName));
        if (!module.Open)
            module.Error = candidate + " has no encoder";
        return module; // kept loaded for the rest of the run
    }
    module.Error = "it is not at " + tried;
    return module;
}

} // namespace

std::unique_ptr<TFrameSink> OpenEncoder(const std::string& out, TOutputKind kind, int32_t width, int32_t height,
                                        const TSinkOptions& options)
{
    static const TModule module = Load();
    if (!module.Open)
        throw std::runtime_error(out + ": the video encoder cannot be loaded: " + module.Error);
    return std::unique_ptr<TFrameSink>(module.Open(out, kind, width, height, options));
}

} // namespace mirel
