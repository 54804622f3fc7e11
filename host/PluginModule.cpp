#include "host/PluginModule.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace velgarde {

namespace {

void SetError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

#if defined(_WIN32)

std::wstring Widen(const std::string& text) {
    if (text.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                        static_cast<int>(text.size()), &wide[0], n);
    return wide;
}

std::string SystemMessage(DWORD code) {
    char* buffer = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text;
    if (n && buffer) text.assign(buffer, n);
    if (buffer) LocalFree(buffer);
    // One line: the system's texts end in ".\r\n" and may span lines.
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    while (!text.empty() && (text.back() == ' ' || text.back() == '.')) text.pop_back();
    if (text.empty()) text = "system error";
    return text + " (error " + std::to_string(code) + ")";
}

#endif

}  // namespace

PluginModule::~PluginModule() { Unload(); }

bool PluginModule::Load(const std::string& path, std::string* error) {
    Unload();
    if (path.empty()) {
        SetError(error, "no plug-in module path given");
        return false;
    }
#if defined(_WIN32)
    // A full path keeps LoadLibrary from searching the system folders for a
    // relative name, and lets the module's own folder serve its dependencies.
    std::wstring wide = Widen(path);
    HMODULE module = nullptr;
    DWORD code = 0;
    DWORD oldMode = 0;
    // No "missing file" dialog boxes: the caller gets the reason as text.
    SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
    if (!wide.empty()) {
        DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
        std::wstring full(size ? size : 1, L'\0');
        DWORD n = size ? GetFullPathNameW(wide.c_str(), size, &full[0], nullptr) : 0;
        module = (n > 0 && n < size)
                     ? LoadLibraryExW(full.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)
                     : LoadLibraryW(wide.c_str());
    } else {
        // Not UTF-8: try the text as it is, in the ANSI code page.
        module = LoadLibraryA(path.c_str());
    }
    if (!module) code = GetLastError();
    SetThreadErrorMode(oldMode, nullptr);
    if (!module) {
        SetError(error, path + ": cannot load the module: " + SystemMessage(code));
        return false;
    }
    handle_ = reinterpret_cast<void*>(module);
#else
    // dlopen searches the library path for a name without a slash; a host
    // means the file in the current directory.
    std::string target = path.find('/') == std::string::npos ? "./" + path : path;
    dlerror();
    void* module = dlopen(target.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        const char* why = dlerror();
        SetError(error, path + ": cannot load the module: " + (why ? why : "unknown reason"));
        return false;
    }
    handle_ = module;
#endif
    path_ = path;
    return true;
}

void PluginModule::Unload() {
    if (!handle_) return;
#if defined(_WIN32)
    FreeLibrary(reinterpret_cast<HMODULE>(handle_));
#else
    dlclose(handle_);
#endif
    handle_ = nullptr;
    path_.clear();
}

void* PluginModule::Symbol(const char* name, std::string* error) const {
    if (!handle_) {
        SetError(error, std::string("no module loaded to look up ") + name);
        return nullptr;
    }
#if defined(_WIN32)
    FARPROC address = GetProcAddress(reinterpret_cast<HMODULE>(handle_), name);
    if (!address) {
        SetError(error, path_ + ": no export named " + name + ": " + SystemMessage(GetLastError()));
        return nullptr;
    }
    return reinterpret_cast<void*>(address);
#else
    dlerror();
    void* address = dlsym(handle_, name);
    if (!address) {
        SetError(error, path_ + ": no export named " + name);
        return nullptr;
    }
    return address;
#endif
}

}  // namespace velgarde
