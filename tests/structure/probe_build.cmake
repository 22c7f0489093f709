# Builds one include probe (tests/structure/CMakeLists.txt) and checks the outcome:
# MUST_BUILD=yes: it builds; MUST_BUILD=no: it fails, because HEADER cannot be found.
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target ${TARGET}
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(MUST_BUILD STREQUAL "yes")
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${TARGET} (#include \"${HEADER}\") does not build:\n${out}${err}")
  endif()
  return()
endif()
if(result EQUAL 0)
  message(FATAL_ERROR "${TARGET} built, but \"${HEADER}\" must not be reachable from there")
endif()
# GCC says "HEADER: No such file or directory", clang "'HEADER' file not found".
string(FIND "${out}${err}" "${HEADER}: No such file or directory" at)
if(at EQUAL -1)
  string(FIND "${out}${err}" "'${HEADER}' file not found" at)
endif()
if(at EQUAL -1)
  message(FATAL_ERROR "${TARGET} failed, but not for want of \"${HEADER}\":\n${out}${err}")
endif()
