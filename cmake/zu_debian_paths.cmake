# The files the build takes from Debian packages outside the compilers' own search paths, checked
# when the build folder is configured: a missing one stops there, naming the package that ships
# it, instead of failing deep inside the build. zu_common.cmake includes this file; the entry
# script's tests also run it alone: cmake -DZU_TRIPLET=... -DZU_DEPS=... -DZU_TESTS=ON -P <file>.
#
#   ZU_TRIPLET  the MinGW-w64 target (set by the toolchain file); empty for the native build
#   ZU_DEPS     where ./zu setup builds libpng for the MinGW targets
#   ZU_TESTS    whether the tests are built
# ZU_WINE_IDL_DIR, ZU_STDOLE_DIR and ZU_GTEST_SOURCE_DIR can be given on the command line instead.

function(zu_require what path package)
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "${what} not found (${path}). It comes with the Debian package "
                        "${package}; ./zu setup installs it.")
  endif()
endfunction()

if(ZU_TRIPLET)
  if(ZU_TRIPLET MATCHES "^x86_64")
    set(zu_stdole_default /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
    set(zu_stdole_package "libwine (from wine64)")
  else()
    set(zu_stdole_default /usr/lib/i386-linux-gnu/wine/i386-windows)
    set(zu_stdole_package "libwine:i386 (from wine32:i386)")
  endif()
  if(NOT ZU_WINE_IDL_DIR)
    set(ZU_WINE_IDL_DIR /usr/include/wine/wine/windows)
  endif()
  if(NOT ZU_STDOLE_DIR)
    set(ZU_STDOLE_DIR ${zu_stdole_default})
  endif()
  if(NOT ZU_GTEST_SOURCE_DIR)
    set(ZU_GTEST_SOURCE_DIR /usr/src/googletest)
  endif()

  # widl reads Wine's IDL files for the system interfaces and imports stdole2.tlb from the
  # target's Wine libraries.
  zu_require("widl" "/usr/bin/${ZU_TRIPLET}-widl" mingw-w64-tools)
  zu_require("Wine's IDL files" "${ZU_WINE_IDL_DIR}/oaidl.idl" libwine-dev)
  zu_require("Wine's stdole2.tlb for ${ZU_TRIPLET}" "${ZU_STDOLE_DIR}/stdole2.tlb"
             "${zu_stdole_package}")
  zu_require("zlib for ${ZU_TRIPLET}" "/usr/${ZU_TRIPLET}/lib/libz.a" libz-mingw-w64-dev)
  if(NOT EXISTS "${ZU_DEPS}/${ZU_TRIPLET}/lib/libpng16.a")
    message(FATAL_ERROR "libpng for ${ZU_TRIPLET} not found (${ZU_DEPS}/${ZU_TRIPLET}/lib/libpng16.a). "
                        "./zu setup builds it from Debian's libpng1.6 source package.")
  endif()
  if(ZU_TESTS)
    # GoogleTest is compiled for the target from Debian's sources; the Japanese test run needs
    # the ja_JP locale's source to compile it.
    zu_require("GoogleTest's sources" "${ZU_GTEST_SOURCE_DIR}/CMakeLists.txt" googletest)
    zu_require("the ja_JP locale's source" /usr/share/i18n/locales/ja_JP locales)
  endif()
else()
  zu_require("libpng's header" /usr/include/png.h libpng-dev)
  zu_require("zlib's header" /usr/include/zlib.h zlib1g-dev)
  if(ZU_TESTS)
    zu_require("GoogleTest" /usr/include/gtest/gtest.h libgtest-dev)
    zu_require("GoogleMock" /usr/include/gmock/gmock.h libgmock-dev)
  endif()
  if(ZU_BENCH)
    zu_require("Google Benchmark" /usr/include/benchmark/benchmark.h libbenchmark-dev)
  endif()
endif()
