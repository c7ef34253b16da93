// Binding the system's VISA library by name, with the system's own loader.
#include "adapters/visa/visa_library.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace visa {
namespace {

void* Open(const std::string& name, std::string& why) {
#if defined(_WIN32)
    HMODULE module = LoadLibraryA(name.c_str());
    if (module == nullptr)
        why = "Windows error " + std::to_string(GetLastError());
    return reinterpret_cast<void*>(module);
#else
    void* library = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* error = dlerror();
        why = error != nullptr ? error : "no reason given";
    }
    return library;
#endif
}

void* Symbol(void* library, const char* name) {
#if defined(_WIN32)
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
#else
    return dlsym(library, name);
#endif
}

void Close(void* library) {
#if defined(_WIN32)
    FreeLibrary(static_cast<HMODULE>(library));
#else
    dlclose(library);
#endif
}

template <typename T>
void Resolve(void* library, T& call, const char* name, std::string& missing) {
    call = reinterpret_cast<T>(Symbol(library, name));
    if (call == nullptr)
        missing += (missing.empty() ? "" : ", ") + std::string(name);
}

}  // namespace

std::vector<std::string> Visa_library_names() {
    if (const char* named = std::getenv("VISA_LIBRARY"); named != nullptr && *named != '\0')
        return {named};
#if defined(_WIN32)
    return {"visa64.dll"};
#else
    return {"libvisa.so.0", "librsvisa.so"};
#endif
}

bool Bind_visa(VisaCalls& calls, std::string& reason) {
    calls = VisaCalls{};
    std::string reasons;
    for (const std::string& name : Visa_library_names()) {
        std::string why;
        void* library = Open(name, why);
        if (library == nullptr) {
            reasons += (reasons.empty() ? "" : "; ") + name + ": " + why;
            continue;
        }
        std::string missing;
        Resolve(library, calls.viOpenDefaultRM, "viOpenDefaultRM", missing);
        Resolve(library, calls.viOpen, "viOpen", missing);
        Resolve(library, calls.viClose, "viClose", missing);
        Resolve(library, calls.viSetAttribute, "viSetAttribute", missing);
        Resolve(library, calls.viRead, "viRead", missing);
        Resolve(library, calls.viWrite, "viWrite", missing);
        Resolve(library, calls.viClear, "viClear", missing);
        Resolve(library, calls.viStatusDesc, "viStatusDesc", missing);
        std::string optional;
        Resolve(library, calls.viFindRsrc, "viFindRsrc", optional);
        Resolve(library, calls.viFindNext, "viFindNext", optional);
        if (!missing.empty()) {
            Close(library);
            calls = VisaCalls{};
            reason = "the VISA library " + name + " lacks " + missing;
            return false;
        }
        calls.library = library;
        calls.name = name;
        return true;
    }
    reason = "no VISA library could be loaded (" + reasons +
             "); install a VISA (NI-VISA, Keysight IO Libraries, R&S VISA) or name its "
             "library in VISA_LIBRARY";
    return false;
}

std::string Missing_find_calls(const VisaCalls& calls) {
    std::string missing;
    if (calls.viFindRsrc == nullptr)
        missing = "viFindRsrc";
    if (calls.viFindNext == nullptr)
        missing += (missing.empty() ? "" : ", ") + std::string("viFindNext");
    return missing;
}

std::string Status_text(const VisaCalls& calls, ViObject vi, ViStatus status) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(status));
    ViChar description[VI_FIND_BUFLEN + 1] = {};
    if (calls.viStatusDesc != nullptr &&
        calls.viStatusDesc(vi, status, description) >= VI_SUCCESS && description[0] != '\0') {
        description[VI_FIND_BUFLEN] = '\0';
        return std::string(description) + " (" + code + ")";
    }
    return std::string("VISA status ") + code;
}

}  // namespace visa
