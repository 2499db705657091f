# Cross build for i686 Windows with Debian's MinGW-w64.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZQ_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
