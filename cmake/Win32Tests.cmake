# Where the i686 Windows test programs run: under 32-bit wine, one prefix per
# build folder (cmake/wine32-run.sh, the toolchain's emulator), on machines
# that run 32-bit x86 code and have wine32 installed (make deps installs it
# there). Elsewhere VELGARDE_TESTS_SKIPPED_BECAUSE holds the reason, every
# test program is registered as one skipped test that says it, and the reason
# is left in tests-skipped.txt for scripts/test-all.sh's summary. Asked anew
# at every configure: installing wine later needs no cache edits.
set(VELGARDE_TESTS_SKIPPED_BECAUSE "")
set(skip_note ${CMAKE_BINARY_DIR}/tests-skipped.txt)
if(CMAKE_SYSTEM_NAME STREQUAL "Windows" AND CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  execute_process(COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/can-run-32bit.sh
                  RESULT_VARIABLE runs32 OUTPUT_VARIABLE why OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT runs32 EQUAL 0)
    set(VELGARDE_TESTS_SKIPPED_BECAUSE "${why}")
  elseif(NOT EXISTS /usr/lib/wine/wine)
    set(VELGARDE_TESTS_SKIPPED_BECAUSE "32-bit wine is not installed (make deps installs wine32:i386)")
  endif()
endif()
if(VELGARDE_TESTS_SKIPPED_BECAUSE)
  message(STATUS "win32 test programs: SKIPPED: ${VELGARDE_TESTS_SKIPPED_BECAUSE}")
  file(WRITE ${skip_note} "${VELGARDE_TESTS_SKIPPED_BECAUSE}\n")
else()
  file(REMOVE ${skip_note})
endif()

# One test that reports itself skipped, with the reason, in place of a test
# program that cannot run here.
function(velgarde_add_skipped_test name)
  add_test(NAME ${name}
           COMMAND ${CMAKE_COMMAND} -E echo "SKIPPED ${name}: ${VELGARDE_TESTS_SKIPPED_BECAUSE}")
  set_tests_properties(${name} PROPERTIES SKIP_REGULAR_EXPRESSION "SKIPPED ${name}:")
endfunction()
