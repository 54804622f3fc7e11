// Calls into a plug-in under the conditions the editor's 32-bit Windows build
// gives it: a stack that is 4-byte aligned but never 16-byte aligned (the
// offset changes from call to call) and the x87 unit at 53-bit precision (the
// Windows compiler's default). The caller's control word is restored
// afterwards, also when the callee throws. On other targets these are plain
// calls: 64-bit hosts keep the stack aligned and do their floating point in SSE.
//
// Every callback and every thread function the emulated host runs goes
// through here, so each i686 test of the plug-in runs under these conditions.
#pragma once

#include <cstdint>

#include "plugin/AviUtlPlugin.h"

namespace velgarde {

#if defined(__i386__)
constexpr bool EditorConditionsApply = true;
#else
constexpr bool EditorConditionsApply = false;
#endif

// The control word the editor's threads run with: all exceptions masked,
// round to nearest, 53-bit precision.
constexpr std::uint16_t EditorControlWord = 0x027F;

FilterTable* EditorCall(GetFilterTableFunc function);
std::int32_t EditorCall(FilterCallback function, FilterTable* table);
std::int32_t EditorCall(FilterProcCallback function, FilterTable* table, ProcInfo* info);
void EditorCall(MultiThreadFunc function, std::int32_t index, std::int32_t count, void* param1,
                void* param2);

// Calls, in this process so far, that returned with a control word other than
// the editor's: a plug-in that changes the precision must put it back.
long EditorControlWordChanges();

}  // namespace velgarde
