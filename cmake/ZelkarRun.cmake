# How a test starts one of the project's programs through the shell. In a cross build whose
# programs run under an emulator (the 32-bit build on a machine without 32-bit support), a test
# program running under the emulator cannot exec another 32-bit program itself: it runs a small
# script that starts the program under the emulator instead.
#   zelkar_program_command(<target> <variable>)
function(zelkar_program_command target variable)
  if(CMAKE_CROSSCOMPILING AND CMAKE_CROSSCOMPILING_EMULATOR)
    set(script ${PROJECT_BINARY_DIR}/run/${target})
    file(GENERATE OUTPUT ${script}
      CONTENT "#!/bin/sh\nexec ${CMAKE_CROSSCOMPILING_EMULATOR} \"$<TARGET_FILE:${target}>\" \"$@\"\n"
      FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
        WORLD_READ WORLD_EXECUTE)
    set(${variable} ${script} PARENT_SCOPE)
  else()
    set(${variable} $<TARGET_FILE:${target}> PARENT_SCOPE)
  endif()
endfunction()
