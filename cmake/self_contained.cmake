# Self-contained Linux programs. The programs that go on a disc (tessary,
# pelorn, tessary-pack) must start on any desktop that has GTK 3 and glibc
# 2.34 or later, whatever versions of the imaging codecs it carries, if any:
#   - libjpeg-turbo, libpng, libtiff (with the codecs libtiff names) and zlib
#     come from their static archives, for every program of the tree;
#   - tessary_self_contained(target) links the C++ runtime statically into one
#     program (tests keep the shared one: GoogleTest and the benchmark
#     library are built against it);
#   - the archives' symbols stay private to the program (--exclude-libs), so
#     the desktop's own libpng or libjpeg, which GTK loads, never binds to
#     ours, nor ours to theirs.
# Sanitizer and fuzzing builds keep shared libraries: their runtimes expect them.
if(WIN32 OR TESSARY_SANITIZE OR TESSARY_FUZZ)
  function(tessary_self_contained target)
  endfunction()
  return()
endif()

find_package(Threads REQUIRED)
# A build tree configured before keeps the shared libraries in its cache.
foreach(found JPEG_LIBRARY_RELEASE ZLIB_LIBRARY_RELEASE PNG_LIBRARY_RELEASE TIFF_LIBRARY_RELEASE)
  if("${${found}}" MATCHES "\\.so$")
    unset(${found} CACHE)
  endif()
endforeach()
set(TESSARY_SHARED_SUFFIXES ${CMAKE_FIND_LIBRARY_SUFFIXES})
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
find_package(JPEG REQUIRED)
find_package(ZLIB REQUIRED)
find_package(PNG REQUIRED)
find_package(TIFF REQUIRED)
# A static libtiff needs the libraries of its codecs after it (what
# `pkg-config --static libtiff-4` names, each only if this system's libtiff
# was built with it).
foreach(codec webp Lerc jbig zstd lzma deflate)
  find_library(TESSARY_TIFF_${codec} ${codec})
  if(TESSARY_TIFF_${codec})
    set_property(TARGET TIFF::TIFF APPEND PROPERTY INTERFACE_LINK_LIBRARIES ${TESSARY_TIFF_${codec}})
  endif()
endforeach()
set(CMAKE_FIND_LIBRARY_SUFFIXES ${TESSARY_SHARED_SUFFIXES})
set_property(TARGET TIFF::TIFF APPEND PROPERTY INTERFACE_LINK_LIBRARIES
             JPEG::JPEG ZLIB::ZLIB Threads::Threads m)
add_link_options(-Wl,--exclude-libs,ALL)

# The static runtime calls two functions newer than glibc 2.34; the program
# brings its own (platform/self_contained/older_glibc.c).
function(tessary_self_contained target)
  target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/platform/self_contained/older_glibc.c)
  target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc)
  target_link_libraries(${target} PRIVATE ${CMAKE_DL_LIBS})
endfunction()
