# Install rules for the CMake package and the pkg-config files, and the tests that use the
# installed package the way a game's build would.
include(CMakePackageConfigHelpers)

set(ZELKAR_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/zelkar)
# One targets file per component; zelkarConfig.cmake reads those asked for.
foreach(component hostkit shared static)
  install(EXPORT zelkar-${component}-targets NAMESPACE zelkar::
    FILE zelkar-${component}-targets.cmake DESTINATION ${ZELKAR_CMAKE_DIR})
endforeach()
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/zelkarConfig.cmake.in
  ${PROJECT_BINARY_DIR}/package/zelkarConfig.cmake INSTALL_DESTINATION ${ZELKAR_CMAKE_DIR})
# 0.x releases may change the facade between minor versions; from 1.0 on, one major version keeps
# its interface. Until then a request is met only by the same major and a minor at least as new.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/package/zelkarConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/package/zelkarConfig.cmake
  ${PROJECT_BINARY_DIR}/package/zelkarConfigVersion.cmake DESTINATION ${ZELKAR_CMAKE_DIR})

# The .pc files find their prefix from their own folder, so a package installed with
# `cmake --install --prefix DIR` works wherever it lands.
file(RELATIVE_PATH ZELKAR_PC_PREFIX /root/${CMAKE_INSTALL_LIBDIR}/pkgconfig /root)
foreach(pc zelkar zelkar-hostkit)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/${pc}.pc.in ${PROJECT_BINARY_DIR}/package/${pc}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/package/${pc}.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()

# The documentation under share/doc/zelkar/, laid out as in the source tree so that the README's
# links hold, with the examples it builds against the installed package.
set(ZELKAR_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/zelkar)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/CHANGELOG.md
  ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${ZELKAR_DOC_DIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs ${PROJECT_SOURCE_DIR}/examples
  DESTINATION ${ZELKAR_DOC_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/tools/zelkar-asset/README.md
  DESTINATION ${ZELKAR_DOC_DIR}/tools/zelkar-asset)

# A sanitized or fuzzing build is no package to hand out; the Release trees test it.
if(ZELKAR_TESTS AND NOT ZELKAR_SANITIZE AND NOT ZELKAR_FUZZ)
  set(prefix ${PROJECT_BINARY_DIR}/package-test/prefix)
  set(check ${CMAKE_CURRENT_LIST_DIR}/package-test.sh)
  # The consumer projects configure in folders of their own, so the toolchain file must be named
  # absolutely; a re-configure keeps it as typed (`--toolchain cmake/i386.cmake` from the root).
  set(toolchain "")
  if(CMAKE_TOOLCHAIN_FILE)
    get_filename_component(toolchain "${CMAKE_TOOLCHAIN_FILE}" ABSOLUTE
      BASE_DIR "${PROJECT_SOURCE_DIR}")
  endif()
  set(ZELKAR_PACKAGE_TEST_ENV
    "ZELKAR_PREFIX=${prefix}" "ZELKAR_WORK=${PROJECT_BINARY_DIR}/package-test"
    "ZELKAR_SOURCE=${PROJECT_SOURCE_DIR}" "ZELKAR_LIBDIR=${CMAKE_INSTALL_LIBDIR}"
    "ZELKAR_TOOLCHAIN=${toolchain}" "ZELKAR_EMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}"
    "ZELKAR_CXX=${CMAKE_CXX_COMPILER}" "ZELKAR_CXX_FLAGS=${CMAKE_CXX_FLAGS}"
    "ZELKAR_ASSETS=${PROJECT_BINARY_DIR}/assets/samples")
  add_test(NAME package_install
    COMMAND ${CMAKE_COMMAND} -E env ${ZELKAR_PACKAGE_TEST_ENV} bash ${check} install
      ${PROJECT_BINARY_DIR})
  set_tests_properties(package_install PROPERTIES FIXTURES_SETUP zelkar_package)
  set(steps find_package components linked pkg_config version_mismatch exports)
  if(ZELKAR_TOOLS)
    list(APPEND steps tools)
  endif()
  foreach(step ${steps})
    add_test(NAME package_${step}
      COMMAND ${CMAKE_COMMAND} -E env ${ZELKAR_PACKAGE_TEST_ENV} bash ${check} ${step})
    set_tests_properties(package_${step} PROPERTIES FIXTURES_REQUIRED zelkar_package
      RESOURCE_LOCK zelkar_package_work)
  endforeach()
endif()
