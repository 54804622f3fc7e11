if(WIN32)
  enable_language(RC)
  # The module's version resource, from the project's one version number.
  configure_file(${CMAKE_SOURCE_DIR}/plugin/Tarnwick.rc.in ${CMAKE_BINARY_DIR}/Tarnwick.rc @ONLY)

  # The plug-in starts no thread. Under the posix thread model the runtime's
  # exception support (a lock around its emergency pool, the unwinder's
  # once-flag) drags in winpthread, some 25 KB of thread machinery; the same
  # runtime built for the win32 thread model does that with Windows' own
  # primitives. Where the toolchain ships it beside the posix one, the module
  # links against it: its libraries are found first on the search path.
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-libgcc-file-name
                  OUTPUT_VARIABLE libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)
  get_filename_component(posix_runtime "${libgcc}" DIRECTORY)
  string(REGEX REPLACE "-posix$" "-win32" win32_runtime "${posix_runtime}")
  set(VELGARDE_PLUGIN_RUNTIME "")
  if(NOT win32_runtime STREQUAL posix_runtime AND EXISTS ${win32_runtime}/libstdc++.a)
    set(VELGARDE_PLUGIN_RUNTIME ${win32_runtime})
  endif()
endif()

# velgarde_add_plugin(NAME [DEFINITIONS ...] [LIBS ...]): the plug-in as a
# loadable module whose only export is GetFilterTable. Extra definitions and
# libraries build test variants.
function(velgarde_add_plugin name)
  cmake_parse_arguments(ARG "" "" "DEFINITIONS;LIBS" ${ARGN})
  if(WIN32)
    add_library(${name} SHARED ${CMAKE_SOURCE_DIR}/plugin/PluginMain.cpp ${CMAKE_BINARY_DIR}/Tarnwick.rc)
    set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX ".auf")
    # No symbols or debug sections: the runtime libraries bring their own.
    target_link_options(${name} PRIVATE -Wl,--exclude-all-symbols -s)
    if(VELGARDE_PLUGIN_RUNTIME)
      target_link_options(${name} PRIVATE -L${VELGARDE_PLUGIN_RUNTIME})
    endif()
  else()
    add_library(${name} MODULE ${CMAKE_SOURCE_DIR}/plugin/PluginMain.cpp)
    set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX ".so")
    target_link_options(${name} PRIVATE -Wl,--version-script=${CMAKE_SOURCE_DIR}/plugin/exports.map)
    if(NOT VELGARDE_SANITIZE)
      target_link_options(${name} PRIVATE -Wl,-z,defs)
    endif()
  endif()
  target_compile_definitions(${name} PRIVATE ${ARG_DEFINITIONS})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} velgarde_core)
endfunction()

# velgarde_avx2_sources(FILE ...): files of AVX2 code (relative to the calling
# folder, which must be the one whose targets compile them), compiled with -mavx2
# on their own and run only where CPUID and XGETBV allow. On the Windows
# targets the assembler also turns aligned vector moves into unaligned ones:
# GCC there may place a 32-byte spill on a stack it did not realign (the
# kernels are written to need no such spill; this keeps a future one safe).
function(velgarde_avx2_sources)
  set_source_files_properties(${ARGN} PROPERTIES COMPILE_OPTIONS
    "-mavx2$<$<CXX_COMPILER_ID:GNU>:;-mno-avx256-split-unaligned-load;-mno-avx256-split-unaligned-store>$<$<PLATFORM_ID:Windows>:;-Wa,-muse-unaligned-vector-move>")
endfunction()

# velgarde_avx512_sources(FILE ...): the same for AVX-512 code (F, BW, VL);
# 64-byte spills are made safe on the Windows targets the same way. GCC 12's
# own AVX-512 headers trip its -Wmaybe-uninitialized (their "undefined"
# vectors), so that warning is off for these files.
function(velgarde_avx512_sources)
  set_source_files_properties(${ARGN} PROPERTIES COMPILE_OPTIONS
    "-mavx512f;-mavx512bw;-mavx512vl$<$<CXX_COMPILER_ID:GNU>:;-mno-avx256-split-unaligned-load;-mno-avx256-split-unaligned-store;-Wno-maybe-uninitialized>$<$<PLATFORM_ID:Windows>:;-Wa,-muse-unaligned-vector-move>")
endfunction()
