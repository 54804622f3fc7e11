# The release package of the product: build/win32/dist/Velgarde-<version>-win32.zip
# with Tarnwick.auf, the readmes in Japanese and English and the licences.
# Built with the preset (so the tests can unpack it); `make dist` copies it to
# out/dist.
set(VELGARDE_PACKAGE_NAME Velgarde-${PROJECT_VERSION}-win32)
set(VELGARDE_PACKAGE ${CMAKE_BINARY_DIR}/dist/${VELGARDE_PACKAGE_NAME}.zip)
set(package_texts
  ${CMAKE_SOURCE_DIR}/dist/README-ja.txt ${CMAKE_SOURCE_DIR}/dist/README-en.txt
  ${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_SOURCE_DIR}/THIRD-PARTY-NOTICES.md)
add_custom_command(OUTPUT ${VELGARDE_PACKAGE}
  COMMAND ${CMAKE_COMMAND} -DDLL=$<TARGET_FILE:Tarnwick> -DSOURCE=${CMAKE_SOURCE_DIR}
          -DNAME=${VELGARDE_PACKAGE_NAME} -DVERSION=${PROJECT_VERSION} -DOUT=${VELGARDE_PACKAGE}
          -P ${CMAKE_SOURCE_DIR}/cmake/MakePackage.cmake
  DEPENDS Tarnwick ${package_texts} ${CMAKE_SOURCE_DIR}/cmake/MakePackage.cmake
  COMMENT "Packaging ${VELGARDE_PACKAGE_NAME}.zip")
add_custom_target(package_zip ALL DEPENDS ${VELGARDE_PACKAGE})
