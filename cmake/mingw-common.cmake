# Cross toolchain for MinGW-w64 (the -posix compilers: std::mutex and GoogleTest need them).
# ZU_DEPS names the folder that holds the libpng built for this target (set by ./zu).
set(CMAKE_C_COMPILER ${ZU_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZU_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZU_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ZU_TRIPLET} ${ZU_DEPS}/${ZU_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static zlib: the import library would tie the DLLs to a zlib1.dll.
set(ZLIB_LIBRARY /usr/${ZU_TRIPLET}/lib/libz.a CACHE FILEPATH "")
set(ZLIB_INCLUDE_DIR /usr/${ZU_TRIPLET}/include CACHE PATH "")
set(PNG_LIBRARY ${ZU_DEPS}/${ZU_TRIPLET}/lib/libpng16.a CACHE FILEPATH "")
set(PNG_PNG_INCLUDE_DIR ${ZU_DEPS}/${ZU_TRIPLET}/include CACHE PATH "")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
