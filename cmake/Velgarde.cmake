# velgarde_add_plugin(NAME [DEFINITIONS ...]): the plug-in as a loadable module
# whose only export is GetFilterTable. Extra definitions build test variants.
function(velgarde_add_plugin name)
  cmake_parse_arguments(ARG "" "" "DEFINITIONS" ${ARGN})
  if(WIN32)
    add_library(${name} SHARED ${CMAKE_SOURCE_DIR}/plugin/PluginMain.cpp)
    set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX ".auf")
    target_link_options(${name} PRIVATE -Wl,--exclude-all-symbols)
  else()
    add_library(${name} MODULE ${CMAKE_SOURCE_DIR}/plugin/PluginMain.cpp)
    set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX ".so")
    target_link_options(${name} PRIVATE
      -Wl,--version-script=${CMAKE_SOURCE_DIR}/plugin/exports.map -Wl,-z,defs)
  endif()
  target_compile_definitions(${name} PRIVATE ${ARG_DEFINITIONS})
  target_link_libraries(${name} PRIVATE velgarde_core)
endfunction()
