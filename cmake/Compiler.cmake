# Compiler settings shared by every target.
#
# Text literals of the program are GBK (code page 936) byte strings; the sources
# are UTF-8. Wide literals (L"...") stay UTF-16 whatever the execution charset.
if(MSVC)
  add_compile_options(/source-charset:utf-8 /execution-charset:.936 /W4 /permissive-)
  add_compile_definitions(_CRT_SECURE_NO_WARNINGS)
  set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
else()
  add_compile_options(-finput-charset=UTF-8 -fexec-charset=GBK -Wall -Wextra)
  # One self-contained executable or DLL per target: no MinGW runtime DLLs to ship.
  add_link_options(-static -static-libgcc -static-libstdc++ $<$<CONFIG:Release>:-s>)
endif()

add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)

if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE Release CACHE STRING "Build type" FORCE)
endif()
