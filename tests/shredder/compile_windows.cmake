# Compiles each source for Windows, syntax only, and fails when any of them does not.
#   -D COMPILER=<MinGW-w64 g++> -D INCLUDE=<src folder> -D SOURCES=<file|file|...>
string(REPLACE "|" ";" sources "${SOURCES}")
set(failed "")
foreach(source IN LISTS sources)
  execute_process(
    COMMAND ${COMPILER} -std=c++20 -fsyntax-only -Wall -Wextra -I${INCLUDE} ${source}
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    list(APPEND failed ${source})
  endif()
endforeach()
if(failed)
  list(JOIN failed "\n  " names)
  message(FATAL_ERROR "Does not compile for Windows:\n  ${names}")
endif()
list(LENGTH sources count)
message(STATUS "${count} sources compile for Windows")
