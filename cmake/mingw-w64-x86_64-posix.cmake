# The unit tests' compilers: posix threads, for GoogleTest's std::mutex and the tests' std::thread.
set(TIDEWELL_MINGW_THREADS posix)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64.cmake)
