# cmake -DDLL= -DSOURCE= -DNAME= -DVERSION= -DOUT= -P MakePackage.cmake
# Stages the package's files under NAME/ (texts with Windows line ends) and
# zips them with CMake's own archiver: no zip program needed.
get_filename_component(out_dir ${OUT} DIRECTORY)
set(stage ${out_dir}/stage)
file(REMOVE_RECURSE ${stage})
file(GLOB old ${out_dir}/*.zip)
if(old)
  file(REMOVE ${old})
endif()
file(MAKE_DIRECTORY ${stage}/${NAME})
file(COPY ${DLL} DESTINATION ${stage}/${NAME})
set(PROJECT_VERSION ${VERSION})
configure_file(${SOURCE}/dist/README-ja.txt ${stage}/${NAME}/README-ja.txt @ONLY NEWLINE_STYLE CRLF)
configure_file(${SOURCE}/dist/README-en.txt ${stage}/${NAME}/README-en.txt @ONLY NEWLINE_STYLE CRLF)
configure_file(${SOURCE}/LICENSE ${stage}/${NAME}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
configure_file(${SOURCE}/THIRD-PARTY-NOTICES.md ${stage}/${NAME}/THIRD-PARTY-NOTICES.txt @ONLY NEWLINE_STYLE CRLF)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${OUT} --format=zip ${NAME}
                WORKING_DIRECTORY ${stage} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot write ${OUT}")
endif()
file(REMOVE_RECURSE ${stage})
