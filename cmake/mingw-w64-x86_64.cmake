# Cross build for 64-bit Windows with Debian's mingw-w64 (POSIX threads variant, for std::thread), with the
# runtime linked in statically so that the programs run without DLLs beside them. Tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QUARN_MINGW_PREFIX x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${QUARN_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUARN_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QUARN_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUARN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

find_program(QUARN_WINE NAMES wine wine64)
if(QUARN_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUARN_WINE})
endif()
