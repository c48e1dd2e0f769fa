# Builds one layering probe and checks the outcome.
#   cmake -DBUILD_DIR=... -DTARGET=probe_x -DEXPECT=pass|fail -DHEADER=h -P build_probe.cmake
# A probe expected to fail must fail on its header, not on anything else.
execute_process(COMMAND ${CMAKE_COMMAND} --build "${BUILD_DIR}" --target ${TARGET}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(EXPECT STREQUAL "pass")
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${TARGET} should compile but does not:\n${output}")
  endif()
  message(STATUS "${TARGET} compiles")
else()
  if(result EQUAL 0)
    message(FATAL_ERROR "${TARGET} compiles, but its room may not include ${HEADER}")
  endif()
  string(FIND "${output}" "${HEADER}" at)
  if(at EQUAL -1 OR NOT output MATCHES "(No such file|file not found|Cannot open include file)")
    message(FATAL_ERROR "${TARGET} failed for another reason than ${HEADER}:\n${output}")
  endif()
  message(STATUS "${TARGET} does not compile: ${HEADER} is out of its room's reach")
endif()
