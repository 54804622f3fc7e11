# cmake -DZIP= -DNAME= -DVERSION= -DOBJDUMP= -DOUT= -P CheckPackage.cmake
# Unpacks the release package into OUT and checks its files and, with
# CheckDll.cmake, the DLL inside it.
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${ZIP} WORKING_DIRECTORY ${OUT} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot unpack ${ZIP}")
endif()
file(GLOB_RECURSE files RELATIVE ${OUT} ${OUT}/*)
list(SORT files)
set(expected ${NAME}/LICENSE.txt ${NAME}/README-en.txt ${NAME}/README-ja.txt
             ${NAME}/THIRD-PARTY-NOTICES.txt ${NAME}/Tarnwick.auf)
if(NOT files STREQUAL expected)
  message(FATAL_ERROR "${ZIP} holds [${files}], expected [${expected}]")
endif()
foreach(readme README-en.txt README-ja.txt)
  file(READ ${OUT}/${NAME}/${readme} text)
  if(NOT text MATCHES "Velgarde ${VERSION}" OR text MATCHES "@PROJECT_VERSION@")
    message(FATAL_ERROR "${readme} does not carry the version ${VERSION}")
  endif()
endforeach()
set(DLL ${OUT}/${NAME}/Tarnwick.auf)
include(${CMAKE_CURRENT_LIST_DIR}/CheckDll.cmake)
