# The Windows build's checks, run under Wine by tools/win32-corpus-check.sh:
# pelorn_batch runs the pelorn tool's own code for many command lines in one
# process (a Wine process start is costly under emulation).
add_executable(pelorn_batch win32/pelorn_batch_main.cpp win32/pelorn_main_as_function.cpp)
target_compile_options(pelorn_batch PRIVATE ${TESSARY_WARNINGS})
target_link_libraries(pelorn_batch PRIVATE pelorn)
