# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (the posix threads flavour, which
# std::thread and std::mutex need). Everything is linked statically, so the programs run
# under Wine, or on a Windows PC, without any DLL beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# ctest runs the test programs through Wine.
find_program(HALVERN_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT HALVERN_WINE)
  find_program(HALVERN_WINE NAMES wine64 wine)
endif()
if(HALVERN_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${HALVERN_WINE})
endif()
