# 32-bit x86 build on an x86-64 Debian machine (g++-multilib and the :i386 library packages):
#   cmake -S . -B build/i386 -G Ninja --toolchain cmake/i386.cmake
#
# SSE2 arithmetic instead of x87, so float results round as in the 64-bit build (the same bytes in
# the asset files, the same answers from comparisons), and 64-bit file offsets, so positions and
# directory entries past 2 GiB or with large inode numbers do not overflow.
set(ZELKAR_I386_FLAGS "-m32 -msse2 -mfpmath=sse -D_FILE_OFFSET_BITS=64")
set(CMAKE_C_FLAGS_INIT "${ZELKAR_I386_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${ZELKAR_I386_FLAGS}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
# The i386 packages' pkg-config files (minizip) rather than the machine's own.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/i386-linux-gnu/pkgconfig:/usr/share/pkgconfig")

# Can this machine run an i386 program itself? Some x86-64 kernels are built without 32-bit
# support. The i386 dynamic loader is a program of its own and answers --help when it can run.
if(NOT DEFINED ZELKAR_I386_NATIVE)
  execute_process(COMMAND /lib/ld-linux.so.2 --help RESULT_VARIABLE zelkar_i386_run
    OUTPUT_QUIET ERROR_QUIET)
  if(zelkar_i386_run EQUAL 0)
    set(ZELKAR_I386_NATIVE ON CACHE BOOL "The machine runs i386 programs natively")
  else()
    set(ZELKAR_I386_NATIVE OFF CACHE BOOL "The machine runs i386 programs natively")
  endif()
endif()

if(NOT ZELKAR_I386_NATIVE)
  # Then the build is a cross build whose programs (the asset tool that builds the samples, the
  # test programs) run under Debian's user-mode emulator.
  set(CMAKE_SYSTEM_NAME Linux)
  set(CMAKE_SYSTEM_PROCESSOR i686)
  find_program(ZELKAR_QEMU_I386 qemu-i386 REQUIRED)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZELKAR_QEMU_I386})
endif()
