# Cross-compiling for Windows with mingw-w64 (i686). The -posix compilers are
# named on purpose: the default win32 thread model of GCC 12 has no
# std::thread or std::mutex, which GoogleTest needs on Windows.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(_triplet i686-w64-mingw32)

find_program(CMAKE_C_COMPILER ${_triplet}-gcc-posix)
find_program(CMAKE_CXX_COMPILER ${_triplet}-g++-posix)
find_program(CMAKE_RC_COMPILER ${_triplet}-windres)
foreach(_tool CMAKE_C_COMPILER CMAKE_CXX_COMPILER CMAKE_RC_COMPILER)
  if(NOT ${_tool})
    message(FATAL_ERROR "${_tool} for ${_triplet} not found: run scripts/setup")
  endif()
endforeach()

set(CMAKE_FIND_ROOT_PATH /usr/${_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
