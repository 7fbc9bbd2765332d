# cmake -DA=<assets folder> -DB=<assets folder> -P CompareAssets.cmake
# Fails unless both folders hold the same samples and samples.rbz, byte for byte.
file(GLOB names RELATIVE ${B} ${B}/samples/* ${B}/samples.rbz)
file(GLOB other RELATIVE ${A} ${A}/samples/* ${A}/samples.rbz)
list(SORT names)
list(SORT other)
if(NOT names STREQUAL other OR names STREQUAL "")
  message(FATAL_ERROR "different samples:\n  ${A}: ${other}\n  ${B}: ${names}")
endif()
foreach(name ${names})
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${A}/${name} ${B}/${name}
    RESULT_VARIABLE different)
  if(different)
    message(FATAL_ERROR "${name} differs between ${A} and ${B}")
  endif()
  message(STATUS "same bytes: ${name}")
endforeach()
