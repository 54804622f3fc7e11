# velgarde_add_plugin(NAME [DEFINITIONS ...] [LIBS ...]): the plug-in as a
# loadable module whose only export is GetFilterTable. Extra definitions and
# libraries build test variants.
function(velgarde_add_plugin name)
  cmake_parse_arguments(ARG "" "" "DEFINITIONS;LIBS" ${ARGN})
  if(WIN32)
    add_library(${name} SHARED ${CMAKE_SOURCE_DIR}/plugin/PluginMain.cpp)
    set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX ".auf")
    target_link_options(${name} PRIVATE -Wl,--exclude-all-symbols)
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
    "-mavx2;-mno-avx256-split-unaligned-load;-mno-avx256-split-unaligned-store$<$<PLATFORM_ID:Windows>:;-Wa,-muse-unaligned-vector-move>")
endfunction()
