# Instrumented builds, each in a build folder of its own:
#   -DNORVI_SANITIZE=address,undefined   the whole program and its tests under AddressSanitizer and UBSan
#   -DNORVI_SANITIZE=thread              ThreadSanitizer (scripts/sanitize builds only the threaded tests)
#   -DNORVI_FUZZ=ON                      clang: norvi_core and the libFuzzer targets in fuzz/, nothing else
# Qt itself is not instrumented; the suppression files in tests/sanitize/ name what that costs.

set(NORVI_SANITIZE "" CACHE STRING "Sanitizers for the whole build: empty, address,undefined or thread")
option(NORVI_FUZZ "Build norvi_core and the libFuzzer targets in fuzz/ (clang only) instead of the programs" OFF)

if(NORVI_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "NORVI_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
    endif()
    if(NORVI_SANITIZE)
        message(FATAL_ERROR "NORVI_FUZZ brings its own sanitizers; leave NORVI_SANITIZE empty")
    endif()
    # Every object is instrumented for coverage and checked; only the fuzz targets link libFuzzer's main.
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
elseif(NORVI_SANITIZE)
    if(NOT NORVI_SANITIZE MATCHES "^(address,undefined|thread)$")
        message(FATAL_ERROR "NORVI_SANITIZE must be address,undefined or thread, not ${NORVI_SANITIZE}")
    endif()
    # A finding stops the test that made it, so CTest reports it as a failure.
    add_compile_options(-fsanitize=${NORVI_SANITIZE} -fno-omit-frame-pointer)
    if(NORVI_SANITIZE STREQUAL "address,undefined")
        add_compile_options(-fno-sanitize-recover=undefined)
    endif()
    add_link_options(-fsanitize=${NORVI_SANITIZE})
endif()
