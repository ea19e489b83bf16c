# Precompiled headers: the toolkit's and the test framework's headers are parsed once per target instead of
# once per source file, which is most of what a source file of this tree costs to compile. The lists name
# the headers most of the sources include; a source still includes what it uses, so it builds without them
# (-DNORVI_PCH=OFF). ccache keeps hitting with them (scripts/configure sets its pch_defines and time_macros
# sloppiness). A target whose compile flags match another's reuses that one's header (REUSE_FROM).
option(NORVI_PCH "Precompile the toolkit and test framework headers" ON)

set(NORVI_PCH_CORE
    <QByteArray> <QByteArrayView> <QString> <QStringList> <QList> <QFile> <QFileInfo> <QDir> <QObject>
    <algorithm> <atomic> <cstdint> <cstring> <functional> <memory> <mutex> <vector>)
set(NORVI_PCH_WIDGETS
    ${NORVI_PCH_CORE}
    <QApplication> <QDialog> <QHBoxLayout> <QHeaderView> <QLabel> <QLineEdit> <QMainWindow> <QPushButton>
    <QTimer> <QTreeView> <QVBoxLayout>)
set(NORVI_PCH_TESTS <gtest/gtest.h> <gmock/gmock.h> <QTest> <QTemporaryDir>)

function(norvi_precompile target)
    if(NORVI_PCH)
        target_precompile_headers(${target} PRIVATE ${ARGN})
    endif()
endfunction()

# The target is compiled with the same flags as `from`, so `from`'s precompiled header fits it (clang refuses a
# header built with coverage for a source without, so the target takes `from`'s fuzz coverage too).
function(norvi_reuse_precompiled target from)
    if(NORVI_PCH)
        target_precompile_headers(${target} REUSE_FROM ${from})
        get_target_property(_covered ${from} NORVI_FUZZ_COVERAGE)
        if(_covered)
            norvi_fuzz_coverage(${target})
        endif()
    endif()
endfunction()

# Test code is thin glue around the libraries, which keep their optimised build: compiled without
# optimisation and with line tables only, it builds in about half the time and still names the failing line.
# Under AddressSanitizer it is still instrumented; the ThreadSanitizer build keeps -O1 for all its objects.
function(norvi_test_code target)
    if(NOT NORVI_SANITIZE STREQUAL "thread" AND CMAKE_BUILD_TYPE STREQUAL "RelWithDebInfo")
        target_compile_options(${target} PRIVATE -O0 -g1)
    endif()
endfunction()
