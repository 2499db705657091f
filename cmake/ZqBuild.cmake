# Build helpers shared by every folder of the project.
#
#   zq_portable_library(name SOURCES ... [LIBS ...])
#       Plain C++ that needs no windows.h; built on every preset.
#   zq_windows_library(name SOURCES ... [LIBS ...])
#       Code that talks to Win32; built for win32 and win64 only.
#   zq_windows_program(name SOURCES ... [LIBS ...] [OUTPUT_NAME n] [CONSOLE])
#       A Unicode GUI program (wWinMain) in <build>/bin, statically linked, ASLR and DEP on,
#       with its link map beside it (<program>.exe.map: tests/shipped/check_pe.sh reads it).
#   zq_host_test(name SOURCES ... [LIBS ...])
#       A GoogleTest program run on the Linux host (host preset only).
#   zq_wine_test(name SOURCES ... [LIBS ...] [TIMEOUT s] [ARGS ...])
#       A GoogleTest program cross-built for Windows and run under Wine by the bench
#       (win32 and win64 presets, ZQ_WINE_TESTS on).
#   zq_wine_script_test(name COMMAND ... [TIMEOUT s] [DEPENDS targets])
#       Any command (a shell script driving programs with xdotool, say) run inside the bench's
#       environment: WINEPREFIX, DISPLAY and the ZQ_* variables below are set.
#
# Wine tests share one prefix per build directory (or the one ZQ_WINE_PREFIX names), so they hold
# the lock "wineprefix" and never run at the same time; host tests run in parallel. The bench is
# brought up for the bitness of the build: a 32-bit bench on a machine that cannot run 32-bit
# programs makes every Wine test exit with ZQ_SKIPPED, which ctest reports as skipped.

if(WIN32)
  set(ZQ_WINDOWS ON)
else()
  set(ZQ_WINDOWS OFF)
endif()

set(ZQ_BENCH ${PROJECT_SOURCE_DIR}/tools/winebench.sh)
set(ZQ_BENCH_DIR ${CMAKE_BINARY_DIR}/winebench)
set(ZQ_SKIPPED 77)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(ZQ_BENCH_BITS 32)
else()
  set(ZQ_BENCH_BITS 64)
endif()
set(ZQ_WINE_PREFIX "" CACHE PATH
    "Wine prefix for the tests (default: <build>/winebench/prefix); builds may share one as long as their suites do not run at the same time")

function(zq_common_options target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  if(ZQ_WINDOWS)
    target_compile_definitions(${target} PUBLIC UNICODE _UNICODE NOMINMAX
                               _WIN32_WINNT=0x0601 WINVER=0x0601)
    # Stack canaries and checked copies (both presets optimise, which fortifying needs). The
    # checks live in libssp, which -static links into the image: no libssp DLL ships.
    target_compile_options(${target} PRIVATE -fstack-protector-strong)
    target_compile_definitions(${target} PRIVATE _FORTIFY_SOURCE=2)
    target_link_options(${target} PRIVATE -fstack-protector-strong)
  elseif(ZQ_SANITIZE)
    target_compile_options(${target} PUBLIC -fsanitize=address,undefined
                           -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    target_link_options(${target} PUBLIC -fsanitize=address,undefined)
  endif()
endfunction()

# GCC 12 takes the fortified copies inside std::string concatenations of the tests for
# overlapping ones (a -Wrestrict false positive); the tests only.
function(zq_quiet_fortified_strings target)
  target_compile_options(${target} PRIVATE -Wno-restrict)
endfunction()

function(zq_static_windows_link target)
  # No MinGW runtime DLL travels with the programs; ASLR and DEP are set in the PE header.
  target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++
                      -Wl,--dynamicbase -Wl,--nxcompat)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    target_link_options(${target} PRIVATE -Wl,--high-entropy-va)
  endif()
  # Release programs ship without symbols (the static runtime brings its own debug sections).
  target_link_options(${target} PRIVATE $<$<CONFIG:Release>:-s>)
endfunction()

# The linker's record of what went into an image (with who references what), beside it: what a
# stripped image no longer tells, such as which objects call the stack and copy checks.
function(zq_link_map target)
  target_link_options(${target} PRIVATE "-Wl,-Map=$<TARGET_FILE:${target}>.map" -Wl,--cref)
endfunction()

function(zq_portable_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  zq_common_options(${name})
  if(ARG_LIBS)
    target_link_libraries(${name} PUBLIC ${ARG_LIBS})
  endif()
endfunction()

function(zq_windows_library name)
  if(ZQ_WINDOWS)
    zq_portable_library(${name} ${ARGN})
  endif()
endfunction()

function(zq_windows_program name)
  if(NOT ZQ_WINDOWS)
    return()
  endif()
  cmake_parse_arguments(ARG "CONSOLE" "OUTPUT_NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  zq_common_options(${name})
  zq_static_windows_link(${name})
  if(ARG_CONSOLE)
    target_link_options(${name} PRIVATE -municode -mconsole)
  else()
    target_link_options(${name} PRIVATE -municode -mwindows)
  endif()
  if(ARG_LIBS)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  endif()
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  zq_link_map(${name})
  if(ARG_OUTPUT_NAME)
    set_target_properties(${name} PROPERTIES OUTPUT_NAME ${ARG_OUTPUT_NAME})
  endif()
endfunction()

# GoogleTest from Debian's sources, built with the same compiler and flags as the code under test.
macro(zq_setup_googletest)
  set(ZQ_HAVE_GTEST OFF)
  if((NOT ZQ_WINDOWS) OR ZQ_WINE_TESTS)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
    if(ZQ_WINDOWS)
      foreach(t gtest gtest_main gmock gmock_main)
        target_compile_definitions(${t} PRIVATE UNICODE _UNICODE)
      endforeach()
    elseif(ZQ_SANITIZE)
      foreach(t gtest gtest_main gmock gmock_main)
        target_compile_options(${t} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer)
      endforeach()
    endif()
    set(ZQ_HAVE_GTEST ON)
  endif()
endmacro()

function(zq_host_test name)
  if(ZQ_WINDOWS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  zq_common_options(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main GTest::gmock)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES LABELS host)
endfunction()

function(zq_add_bench_properties test timeout)
  set_tests_properties(${test} PROPERTIES
    FIXTURES_REQUIRED wine_bench
    RESOURCE_LOCK wineprefix
    SKIP_RETURN_CODE ${ZQ_SKIPPED}
    TIMEOUT ${timeout}
    LABELS wine)
endfunction()

# A test program run inside the bench, or (COMMAND ...) any command executed there.
function(zq_wine_test name)
  if(NOT (ZQ_WINDOWS AND ZQ_WINE_TESTS))
    return()
  endif()
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;ARGS;COMMAND" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 600)
  endif()
  if(ARG_COMMAND)
    set(mode exec)
  else()
    add_executable(${name} ${ARG_SOURCES})
    zq_common_options(${name})
    zq_quiet_fortified_strings(${name})
    zq_static_windows_link(${name})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main GTest::gmock)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    set(mode run)
    set(ARG_COMMAND $<TARGET_FILE:${name}> ${ARG_ARGS})
  endif()
  add_test(NAME ${name}
           COMMAND bash ${ZQ_BENCH} ${mode} --state ${ZQ_BENCH_DIR} --timeout ${ARG_TIMEOUT}
                   ${ARG_COMMAND})
  zq_add_bench_properties(${name} ${ARG_TIMEOUT})
endfunction()

function(zq_wine_script_test name)
  zq_wine_test(${name} ${ARGN})
endfunction()
