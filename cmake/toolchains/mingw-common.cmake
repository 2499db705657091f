# What both MinGW-w64 cross builds share; the toolchain file that includes this one sets
# CMAKE_SYSTEM_PROCESSOR and ZQ_MINGW_TRIPLE first. Debian's posix threading model.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER   ${ZQ_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZQ_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${ZQ_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZQ_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
