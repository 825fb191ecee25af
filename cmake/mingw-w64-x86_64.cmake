# Cross build for 64-bit Windows with Debian's mingw-w64 compilers. The "-posix" variants use winpthreads,
# which std::thread, std::mutex and std::condition_variable need. Everything links statically, so a test
# or the program runs from its folder without the compiler's DLLs beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(FERNPAD_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${FERNPAD_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FERNPAD_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${FERNPAD_MINGW_TRIPLET}-windres)

# Libraries and headers come from the cross root only; programs (the build's own tools) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${FERNPAD_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
