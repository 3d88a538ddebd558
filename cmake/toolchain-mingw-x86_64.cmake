# Cross build for Windows x86_64 with the posix-thread variant of mingw-w64;
# executables run under Wine through the crosscompiling emulator.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(GW_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${GW_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${GW_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${GW_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${GW_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
