# Cross-build for 64-bit Windows with Debian's MinGW-w64, tests run under wine.
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DTVK_WINDOWS_DEPS="$(scripts/windows-deps)" ...
# TVK_WINDOWS_DEPS (cache or environment variable) is the prefix that
# scripts/windows-deps prints; its static libraries are found as if they were
# part of the MinGW sysroot, its qt6/ (scripts/windows-deps --qt) as well.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The POSIX-thread variant: the win32 one has no std::thread.
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(NOT TVK_WINDOWS_DEPS AND DEFINED ENV{TVK_WINDOWS_DEPS})
  set(TVK_WINDOWS_DEPS "$ENV{TVK_WINDOWS_DEPS}")
endif()
set(TVK_WINDOWS_DEPS "${TVK_WINDOWS_DEPS}" CACHE PATH "Prefix made by scripts/windows-deps")
# try_compile projects read this file again without the cache.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TVK_WINDOWS_DEPS)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
if(TVK_WINDOWS_DEPS)
  list(APPEND CMAKE_FIND_ROOT_PATH "${TVK_WINDOWS_DEPS}")
  if(EXISTS "${TVK_WINDOWS_DEPS}/qt6")
    list(APPEND CMAKE_FIND_ROOT_PATH "${TVK_WINDOWS_DEPS}/qt6")
  endif()
endif()
# pkg-config sees only the Windows libraries, never the host's .pc files.
if(TVK_WINDOWS_DEPS AND NOT DEFINED ENV{PKG_CONFIG_LIBDIR})
  set(ENV{PKG_CONFIG_LIBDIR} "${TVK_WINDOWS_DEPS}/lib/pkgconfig")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread go into every .exe and .dll, so that
# nothing of the compiler has to be copied beside them. -static also picks
# archives over import libraries for -l; FindZLIB returns a full path and is
# told apart (curl's CMake config asks for ZLIB::ZLIB).
set(ZLIB_USE_STATIC_LIBS ON)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Tests (ctest, gtest_discover_tests, try_run) run under wine, in a prefix of
# their own beside the dependencies, quiet, and finding Qt's DLLs there.
find_program(TVK_WINE wine)
if(TVK_WINE)
  if(TVK_WINDOWS_DEPS)
    set(CMAKE_CROSSCOMPILING_EMULATOR
        /usr/bin/env "WINEPREFIX=${TVK_WINDOWS_DEPS}/wineprefix" WINEDEBUG=-all
        "WINEPATH=${TVK_WINDOWS_DEPS}/qt6/bin" "${TVK_WINE}")
  else()
    set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/env WINEDEBUG=-all "${TVK_WINE}")
  endif()
endif()
