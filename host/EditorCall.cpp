#include "host/EditorCall.h"

#include <atomic>

namespace velgarde {

namespace {

std::atomic<long> controlWordChanges{0};

#if defined(__i386__)

// EditorTrampoline(function, args, count, offset, controlWord, controlWordAfter)
// copies `count` 32-bit arguments onto a stack whose pointer is `offset`
// (4, 8 or 12) past a multiple of 16 at the call, loads `controlWord`, calls
// `function` (cdecl), stores the control word it returns with, and returns
// its result (EAX). The caller's control word is put back by the caller.
extern "C" std::uint32_t EditorTrampoline(const void* function, const std::uint32_t* args,
                                          std::uint32_t count, std::uint32_t offset,
                                          std::uint32_t controlWord,
                                          std::uint16_t* controlWordAfter)
    __asm__("velgarde_editor_trampoline");

// Unwind information, so that an exception thrown by the callee (the pool's
// tests throw) passes through to the host's handler: both toolchains unwind
// with DWARF tables.
#define CFI(x) x "\n"
#if defined(__ELF__)
#define TYPE_FUNCTION ".type velgarde_editor_trampoline, @function\n"
#define SIZE_FUNCTION ".size velgarde_editor_trampoline, .-velgarde_editor_trampoline\n"
#else
#define TYPE_FUNCTION
#define SIZE_FUNCTION
#endif

// Frame: EBP+8 function, +12 args, +16 count, +20 offset, +24 control word,
// +28 where to store the control word after the call.
__asm__(
    ".text\n"
    ".p2align 4\n"
    ".globl velgarde_editor_trampoline\n"
    TYPE_FUNCTION
    "velgarde_editor_trampoline:\n"
    CFI(".cfi_startproc")
    "pushl %ebp\n"
    CFI(".cfi_def_cfa_offset 8")
    CFI(".cfi_offset %ebp, -8")
    "movl %esp, %ebp\n"
    CFI(".cfi_def_cfa_register %ebp")
    "pushl %esi\n"
    CFI(".cfi_offset %esi, -12")
    "pushl %edi\n"
    CFI(".cfi_offset %edi, -16")
    "pushl %ebx\n"
    CFI(".cfi_offset %ebx, -20")
    "movl 16(%ebp), %ecx\n"
    "leal 0(,%ecx,4), %eax\n"
    "subl %eax, %esp\n"
    "subl $32, %esp\n"
    "andl $-16, %esp\n"
    "addl 20(%ebp), %esp\n"
    "movl 12(%ebp), %esi\n"
    "movl %esp, %edi\n"
    "cld\n"
    "rep movsl\n"
    "fldcw 24(%ebp)\n"
    "call *8(%ebp)\n"
    "movl 28(%ebp), %ecx\n"
    "fnstcw (%ecx)\n"
    "leal -12(%ebp), %esp\n"
    "popl %ebx\n"
    "popl %edi\n"
    "popl %esi\n"
    "popl %ebp\n"
    "ret\n"
    CFI(".cfi_endproc")
    SIZE_FUNCTION);

// Puts the host's own control word back, on return and on unwinding.
class ControlWordKeeper {
public:
    ControlWordKeeper() { __asm__ volatile("fnstcw %0" : "=m"(saved_)); }
    ~ControlWordKeeper() { __asm__ volatile("fldcw %0" : : "m"(saved_)); }
    ControlWordKeeper(const ControlWordKeeper&) = delete;
    ControlWordKeeper& operator=(const ControlWordKeeper&) = delete;

private:
    std::uint16_t saved_ = 0;
};

std::uint32_t Call(const void* function, const std::uint32_t* args, std::uint32_t count) {
    // 4, 8, 12, 4, ...: every misalignment a 4-byte aligned stack can have.
    thread_local std::uint32_t calls = 0;
    const std::uint32_t offset = 4 + 4 * (calls++ % 3);
    ControlWordKeeper keeper;
    std::uint16_t after = EditorControlWord;
    const std::uint32_t result =
        EditorTrampoline(function, args, count, offset, EditorControlWord, &after);
    if (after != EditorControlWord) controlWordChanges.fetch_add(1, std::memory_order_relaxed);
    return result;
}

std::uint32_t Word(const void* pointer) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

#endif

}  // namespace

#if defined(__i386__)

FilterTable* EditorCall(GetFilterTableFunc function) {
    return reinterpret_cast<FilterTable*>(
        static_cast<std::uintptr_t>(Call(reinterpret_cast<const void*>(function), nullptr, 0)));
}

std::int32_t EditorCall(FilterCallback function, FilterTable* table) {
    const std::uint32_t args[] = {Word(table)};
    return static_cast<std::int32_t>(Call(reinterpret_cast<const void*>(function), args, 1));
}

std::int32_t EditorCall(FilterProcCallback function, FilterTable* table, ProcInfo* info) {
    const std::uint32_t args[] = {Word(table), Word(info)};
    return static_cast<std::int32_t>(Call(reinterpret_cast<const void*>(function), args, 2));
}

void EditorCall(MultiThreadFunc function, std::int32_t index, std::int32_t count, void* param1,
                void* param2) {
    const std::uint32_t args[] = {static_cast<std::uint32_t>(index), static_cast<std::uint32_t>(count),
                                  Word(param1), Word(param2)};
    Call(reinterpret_cast<const void*>(function), args, 4);
}

#else

FilterTable* EditorCall(GetFilterTableFunc function) { return function(); }

std::int32_t EditorCall(FilterCallback function, FilterTable* table) { return function(table); }

std::int32_t EditorCall(FilterProcCallback function, FilterTable* table, ProcInfo* info) {
    return function(table, info);
}

void EditorCall(MultiThreadFunc function, std::int32_t index, std::int32_t count, void* param1,
                void* param2) {
    function(index, count, param1, param2);
}

#endif

long EditorControlWordChanges() { return controlWordChanges.load(std::memory_order_relaxed); }

}  // namespace velgarde
