// A loadable plug-in module (a DLL on Windows, a shared object elsewhere),
// held open for the lifetime of the object.
#pragma once

#include <string>

namespace velgarde {

class PluginModule {
public:
    PluginModule() = default;
    ~PluginModule();  // unloads
    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;

    // Loads the module at `path`, unloading any module held before. On
    // failure returns false with "path: reason" in *error (may be null).
    // A bare file name is looked up in the current directory, never in the
    // system's library search path.
    bool Load(const std::string& path, std::string* error);
    void Unload();

    bool IsLoaded() const { return handle_ != nullptr; }
    const std::string& Path() const { return path_; }

    // The address of the exported symbol `name`, or null with the reason in
    // *error (may be null).
    void* Symbol(const char* name, std::string* error) const;

private:
    void* handle_ = nullptr;
    std::string path_;
};

}  // namespace velgarde
