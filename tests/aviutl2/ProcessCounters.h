// The process's live threads and private memory, for leak checks.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>
#else
#include <dirent.h>
#include <fstream>
#include <string>
#endif

namespace auf2_test {

inline int ProcessThreadCount() {
#if defined(_WIN32)
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    THREADENTRY32 entry;
    entry.dwSize = sizeof(entry);
    int count = 0;
    const DWORD self = GetCurrentProcessId();
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == self) ++count;
    CloseHandle(snapshot);
    return count;
#else
    DIR* tasks = opendir("/proc/self/task");
    if (tasks == nullptr) return -1;
    int count = 0;
    while (dirent* entry = readdir(tasks))
        if (entry->d_name[0] != '.') ++count;
    closedir(tasks);
    return count;
#endif
}

inline long long ProcessPrivateBytes() {
#if defined(_WIN32)
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof(counters)))
        return -1;
    return static_cast<long long>(counters.PrivateUsage);
#else
    std::ifstream status("/proc/self/status");
    std::string key;
    long long value = -1;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> value;
            return value * 1024;
        }
        status.ignore(1 << 10, '\n');
    }
    return -1;
#endif
}

}  // namespace auf2_test
