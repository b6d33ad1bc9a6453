# Cross-compiling for Windows with MinGW-w64 (x86_64), posix thread model.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QU_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER   ${QU_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QU_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${QU_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QU_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Static runtime: the programs import only system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Resource scripts are UTF-8.
set(CMAKE_RC_FLAGS_INIT "-c 65001")
