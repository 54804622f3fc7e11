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

# velgarde_add_plugin(NAME [DEFINITIONS ...]): the plug-in as a loadable module
# whose only export is GetFilterTable. Extra definitions build test variants.
function(velgarde_add_plugin name)
  cmake_parse_arguments(ARG "" "" "DEFINITIONS" ${ARGN})
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
  target_link_libraries(${name} PRIVATE velgarde_core)
endfunction()
