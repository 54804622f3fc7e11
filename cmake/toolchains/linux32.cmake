# i686 Linux. Where the kernel runs 32-bit programs itself, tests run
# directly: at full speed, and with every instruction set the processor has
# (qemu has no AVX-512, so the kernel sets that need it would be skipped).
# Elsewhere they go through qemu.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
# Without -mfpmath=sse doubles are x87 extended and the weights drift.
set(CMAKE_C_FLAGS_INIT "-m32 -msse2 -mfpmath=sse -mstackrealign")
set(CMAKE_CXX_FLAGS_INIT "-m32 -msse2 -mfpmath=sse -mstackrealign")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")
execute_process(COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/../../scripts/can-run-32bit.sh
                RESULT_VARIABLE VELGARDE_I386_PROBE OUTPUT_QUIET ERROR_QUIET)
if(NOT VELGARDE_I386_PROBE EQUAL 0)
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386)
endif()
