# Instrumented builds, each in a build folder of its own (scripts/configure-sanitized makes both with clang):
#   -DNORVI_SANITIZE=address,undefined   the whole program and its tests under AddressSanitizer and UBSan
#   -DNORVI_SANITIZE=thread              ThreadSanitizer (scripts/sanitize builds only the threaded tests)
#   -DNORVI_FUZZ=ON                      clang: the libFuzzer targets in fuzz/ as well, in the same
#                                        AddressSanitizer + UBSan folder (it implies address,undefined)
# With NORVI_FUZZ the core library and the fuzz targets are also instrumented for coverage (fuzzer-no-link,
# norvi_fuzz_coverage), so the tests and the fuzz targets share one compile of the core; only the fuzz targets
# link libFuzzer and its main.
# Qt itself is not instrumented; the suppression files in tests/sanitize/ name what that costs.

set(NORVI_SANITIZE "" CACHE STRING "Sanitizers for the whole build: empty, address,undefined or thread")
option(NORVI_FUZZ "Also build the libFuzzer targets in fuzz/ (clang, address,undefined)" OFF)

if(NORVI_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "NORVI_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
    endif()
    if(NOT NORVI_SANITIZE)
        set(NORVI_SANITIZE address,undefined CACHE STRING "" FORCE)
    elseif(NOT NORVI_SANITIZE STREQUAL "address,undefined")
        message(FATAL_ERROR "NORVI_FUZZ runs under address,undefined, not ${NORVI_SANITIZE}")
    endif()
endif()

if(NORVI_SANITIZE)
    if(NOT NORVI_SANITIZE MATCHES "^(address,undefined|thread)$")
        message(FATAL_ERROR "NORVI_SANITIZE must be address,undefined or thread, not ${NORVI_SANITIZE}")
    endif()
    # A finding stops the test (or the fuzz run) that made it, so it is reported as a failure.
    add_compile_options(-fsanitize=${NORVI_SANITIZE} -fno-omit-frame-pointer)
    if(NORVI_SANITIZE STREQUAL "address,undefined")
        add_compile_options(-fno-sanitize-recover=all)
    endif()
    add_link_options(-fsanitize=${NORVI_SANITIZE})
endif()

# Coverage guides libFuzzer only through the code a fuzz target runs: the core's parsers and the target itself.
# The windows, the simulator and the tests go without it, which saves about a quarter of their compile time
# and the counters' cost in every instrumented test.
function(norvi_fuzz_coverage target)
    if(NORVI_FUZZ)
        target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link)
        set_target_properties(${target} PROPERTIES NORVI_FUZZ_COVERAGE ON)
    endif()
endfunction()
