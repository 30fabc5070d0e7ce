# Compiler settings, dependencies and test helpers shared by every target.

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  add_compile_options(-Wall -Wextra -Wno-unused-parameter)
endif()

if(WIN32)
  # Unicode Win32, no min/max macros, Windows 7 API level. The runtime is linked statically so
  # that a DLL pulls no MinGW DLLs into its host.
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()

if(ZU_SANITIZE AND NOT WIN32)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

find_package(PNG REQUIRED)
find_package(ZLIB REQUIRED)

# GoogleTest: the native build uses Debian's; the MinGW builds compile it from Debian's source.
if(ZU_TESTS)
  if(WIN32)
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  else()
    find_package(GTest REQUIRED)
  endif()
endif()

# zu_add_gtest(name SOURCES... LIBS...): one test executable, one ctest entry. Under Wine the
# emulator set by the toolchain file runs it. Each run leaves a JUnit-style report beside it,
# from which ./zu test counts the cases.
function(zu_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  set(report "${CMAKE_BINARY_DIR}/reports/${name}.xml")
  add_test(NAME ${name} COMMAND ${name} --gtest_output=xml:${report}
           WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "ZU_TESTDATA=${PROJECT_SOURCE_DIR}/tests/data")
endfunction()
