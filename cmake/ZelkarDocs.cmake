# HTML reference of the public headers, the host kit's headers and the pages in docs/, written to
# <build>/docs/html.
# Any doxygen warning (an undocumented operation, a broken reference) fails the target.
find_program(ZELKAR_DOXYGEN doxygen)
if(ZELKAR_DOXYGEN)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/Doxyfile.in ${PROJECT_BINARY_DIR}/docs/Doxyfile @ONLY)
  add_custom_target(docs
    COMMAND ${ZELKAR_DOXYGEN} ${PROJECT_BINARY_DIR}/docs/Doxyfile
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    COMMENT "Writing the reference to ${PROJECT_BINARY_DIR}/docs/html" VERBATIM)
endif()
