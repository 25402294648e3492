# Reference decodes of the PNG and TIFF corpus by independent decoders (our
# own PNG model and Pillow), made once per build rather than in every test
# process: each corpus test runs in a process of its own.
find_program(TESSARY_REFERENCE_PYTHON NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
find_program(TESSARY_REFERENCE_PYTHON NAMES python3)
set(REFERENCE_DIR ${CMAKE_BINARY_DIR}/reference)
file(GLOB REFERENCE_PNG_FILES LIST_DIRECTORIES false CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/corpus/png/*)
file(GLOB REFERENCE_TIFF_FILES LIST_DIRECTORIES false CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/corpus/tiff/*)
set(REFERENCE_TOOLS ${CMAKE_SOURCE_DIR}/tests/tools)
add_custom_command(OUTPUT ${REFERENCE_DIR}/png.stamp
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${REFERENCE_DIR}/png
  COMMAND ${CMAKE_COMMAND} -E make_directory ${REFERENCE_DIR}/png
  COMMAND ${TESSARY_REFERENCE_PYTHON} ${REFERENCE_TOOLS}/png_expected.py 2.9 ${REFERENCE_DIR}/png ${REFERENCE_PNG_FILES}
  COMMAND ${TESSARY_REFERENCE_PYTHON} ${REFERENCE_TOOLS}/pillow_batch.py ${REFERENCE_DIR}/png ${REFERENCE_PNG_FILES}
  COMMAND ${CMAKE_COMMAND} -E touch ${REFERENCE_DIR}/png.stamp
  DEPENDS ${REFERENCE_TOOLS}/png_expected.py ${REFERENCE_TOOLS}/pillow_batch.py ${REFERENCE_PNG_FILES}
  COMMENT "Reference decodes of the PNG corpus" VERBATIM)
add_custom_command(OUTPUT ${REFERENCE_DIR}/tiff.stamp
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${REFERENCE_DIR}/tiff
  COMMAND ${CMAKE_COMMAND} -E make_directory ${REFERENCE_DIR}/tiff
  COMMAND ${TESSARY_REFERENCE_PYTHON} ${REFERENCE_TOOLS}/pillow_batch.py --premultiply ${REFERENCE_DIR}/tiff ${REFERENCE_TIFF_FILES}
  COMMAND ${CMAKE_COMMAND} -E touch ${REFERENCE_DIR}/tiff.stamp
  DEPENDS ${REFERENCE_TOOLS}/pillow_batch.py ${REFERENCE_TIFF_FILES}
  COMMENT "Reference decodes of the TIFF corpus" VERBATIM)
add_custom_target(reference_decodes ALL DEPENDS ${REFERENCE_DIR}/png.stamp ${REFERENCE_DIR}/tiff.stamp)
