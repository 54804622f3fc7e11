#include "cli/ProgramPath.h"

#include <cstdlib>

#include "cli/Files.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace velgarde {
namespace {

#if defined(_WIN32)
constexpr char kListSeparator = ';';
constexpr char kSeparator = '\\';
const char* const kSuffix = ".exe";
#else
constexpr char kListSeparator = ':';
constexpr char kSeparator = '/';
const char* const kSuffix = "";
#endif

bool IsProgram(const std::string& path) {
    FileInfo info;
    if (!StatPath(path, &info) || !info.regular) return false;
#if defined(_WIN32)
    return true;
#else
    return access(path.c_str(), X_OK) == 0;
#endif
}

std::string InFolder(std::string folder, const std::string& file) {
    if (folder.empty()) folder = ".";
    if (folder.back() != '/' && folder.back() != kSeparator) folder += kSeparator;
    return folder + file;
}

}  // namespace

std::string FindProgramIn(const std::string& name, const std::string& given, const std::string& toolFolder,
                          const std::string& pathVariable, std::vector<std::string>* looked) {
    const std::string file = name + kSuffix;
    std::vector<std::string> candidates;
    if (!given.empty()) {
        FileInfo info;
        // A folder holds the program; anything else names it.
        candidates.push_back(StatPath(given, &info) && info.directory ? InFolder(given, file) : given);
    } else {
        if (!toolFolder.empty()) candidates.push_back(InFolder(toolFolder, file));
        for (std::size_t at = 0; at <= pathVariable.size();) {
            std::size_t end = pathVariable.find(kListSeparator, at);
            if (end == std::string::npos) end = pathVariable.size();
            std::string folder = pathVariable.substr(at, end - at);
#if defined(_WIN32)
            if (folder.size() >= 2 && folder.front() == '"' && folder.back() == '"')
                folder = folder.substr(1, folder.size() - 2);
#endif
            if (!folder.empty()) candidates.push_back(InFolder(folder, file));
            at = end + 1;
        }
    }
    for (const auto& path : candidates) {
        if (IsProgram(path)) return path;
        if (looked != nullptr) looked->push_back(path);
    }
    return "";
}

std::string ToolFolder() {
#if defined(_WIN32)
    std::wstring wide(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, &wide[0], static_cast<DWORD>(wide.size()));
    if (n == 0 || n >= wide.size()) return "";
    wide.resize(n);
    const std::string exe = Narrow(wide);
    const auto slash = exe.find_last_of("\\/");
#else
    std::string exe(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", &exe[0], exe.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= exe.size()) return "";
    exe.resize(static_cast<std::size_t>(n));
    const auto slash = exe.find_last_of('/');
#endif
    return slash == std::string::npos ? "" : exe.substr(0, slash + 1);
}

std::string FindProgram(const std::string& name, const std::string& given, std::vector<std::string>* looked) {
#if defined(_WIN32)
    std::string path;
    std::wstring wide(32768, L'\0');
    const DWORD n = GetEnvironmentVariableW(L"PATH", &wide[0], static_cast<DWORD>(wide.size()));
    if (n > 0 && n < wide.size()) {
        wide.resize(n);
        path = Narrow(wide);
    }
#else
    const char* env = std::getenv("PATH");
    const std::string path = env != nullptr ? env : "";
#endif
    return FindProgramIn(name, given, ToolFolder(), path, looked);
}

}  // namespace velgarde
