# Tests are Windows programs: CTest runs them under Wine through scripts/wine-run,
# in the build folder's own Wine prefix (prepared once by scripts/prefix-init.sh).
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(QUILLMERE_WINE_LOADER "/usr/lib/wine/wine64")
else()
  set(QUILLMERE_WINE_LOADER "/usr/lib/wine/wine")
endif()
set(QUILLMERE_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_SOURCE_DIR}/scripts/wine-run")

set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)

# quillmere_add_test(<target> [TIMEOUT seconds]): one CTest entry per test
# executable (a Wine start is slow, so tests are grouped into few executables).
function(quillmere_add_test target)
  cmake_parse_arguments(ARG "" "TIMEOUT" "" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  add_test(NAME ${target} COMMAND ${target} --gtest_color=no)
  set_tests_properties(${target} PROPERTIES
    TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "LANG=zh_CN.UTF-8;LC_ALL=;WINEPREFIX=${QUILLMERE_WINEPREFIX};WINELOADER=${QUILLMERE_WINE_LOADER};WINEDEBUG=-all;QUILLMERE_SOURCE=${CMAKE_SOURCE_DIR};QUILLMERE_BUILD=${CMAKE_BINARY_DIR}")
endfunction()
