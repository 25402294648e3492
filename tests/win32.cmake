# The Windows build's checks, run under Wine.
#
# pelorn_batch runs the pelorn tool's own code for many command lines in one
# process (a Wine process start is costly under emulation); it is run by
# tools/win32-corpus-check.sh.
add_executable(pelorn_batch win32/pelorn_batch_main.cpp win32/pelorn_main_as_function.cpp)
target_compile_options(pelorn_batch PRIVATE ${TESSARY_WARNINGS})
target_link_libraries(pelorn_batch PRIVATE pelorn)

# program_facts reads the programs' version information and manifests as
# Windows does, and reports the code page it runs in: program_facts_utf8
# carries the tool's manifest, program_facts none. Run by
# tests/win32/names_check.py.
add_executable(program_facts win32/program_facts.cpp)
add_executable(program_facts_utf8 win32/program_facts.cpp win32/utf8_manifest.rc)
set_source_files_properties(win32/utf8_manifest.rc PROPERTIES OBJECT_DEPENDS
  ${CMAKE_SOURCE_DIR}/resources/pelorn.manifest)
foreach(target program_facts program_facts_utf8)
  target_compile_options(${target} PRIVATE ${TESSARY_WARNINGS})
  target_link_libraries(${target} PRIVATE version)
endforeach()

# The imaging library's own tests, one executable per test file as on Linux,
# run by tools/win32-library-tests.sh. They run over the system's own
# kernel32, gdi32 and user32: the hooks the Linux layer gives tests (global
# block and GDI object counts, allocation faults, debugger output, message
# boxes, pixels of bitmaps, a palette screen, a printer DC, resource
# overrides) come from tests/win32/, which patches the program's own import
# table, and headers of the same names in tests/win32/include stand in for
# the layer's.
set(PELORN_WIN32_TESTS core bitmaps bmp bmp_rle convert convert_ddb gif jpeg lzw pcx png
    quantize resample tga tiff memory_bound)

# GoogleTest from its sources (Debian's package googletest), built statically
# with the cross compiler. Without them the Windows build has no tests.
set(GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest's source tree")
if(NOT EXISTS ${GOOGLETEST_SOURCE_DIR}/googletest/CMakeLists.txt)
  message(WARNING "No GoogleTest sources in ${GOOGLETEST_SOURCE_DIR}: the library's tests "
                  "are not built for Windows (install the package googletest)")
  return()
endif()
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${GOOGLETEST_SOURCE_DIR}/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_library(test_support_win32 STATIC support/test_support.cpp win32/unix_peer.cpp
  win32/import_table.cpp win32/test_hooks.cpp win32/gdi_hooks.cpp)
target_compile_options(test_support_win32 PRIVATE ${TESSARY_WARNINGS})
# Ahead of the source root, so that the tests' layer headers are these.
set(win32_test_headers ${CMAKE_CURRENT_SOURCE_DIR}/win32/include)
target_include_directories(test_support_win32 BEFORE PRIVATE ${win32_test_headers})
target_link_libraries(test_support_win32 PUBLIC pelorn gtest)
target_compile_definitions(test_support_win32 PUBLIC
  TESSARY_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
  TESSARY_CORPUS_DIR="${CMAKE_SOURCE_DIR}/tests/corpus"
  TESSARY_BIN_DIR="${CMAKE_BINARY_DIR}/bin"
  TESSARY_REFERENCE_DIR="${CMAKE_BINARY_DIR}/reference")

set(library_tests)
foreach(name ${PELORN_WIN32_TESTS})
  add_executable(${name}_test ${name}_test.cpp)
  target_compile_options(${name}_test PRIVATE ${TESSARY_WARNINGS})
  target_include_directories(${name}_test BEFORE PRIVATE ${win32_test_headers})
  target_link_libraries(${name}_test PRIVATE test_support_win32 gtest_main)
  list(APPEND library_tests ${name}_test)
endforeach()
# The framework's conversion of the program's text for the "W" drawing
# functions (Windows only).
add_executable(program_text_test win32/program_text_test.cpp)
target_compile_options(program_text_test PRIVATE ${TESSARY_WARNINGS})
target_link_libraries(program_text_test PRIVATE winframework gtest_main)
list(APPEND library_tests program_text_test)
# The peak working set, from GetProcessMemoryInfo.
target_link_libraries(memory_bound_test PRIVATE psapi)
add_dependencies(png_test reference_decodes)
add_dependencies(tiff_test reference_decodes)
add_custom_target(pelorn_library_tests DEPENDS ${library_tests})
