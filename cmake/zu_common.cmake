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

include(${CMAKE_CURRENT_LIST_DIR}/zu_debian_paths.cmake)

find_package(PNG REQUIRED)
find_package(ZLIB REQUIRED)

# GoogleTest: the native build uses Debian's; the MinGW builds compile it from Debian's source.
if(ZU_TESTS)
  if(WIN32)
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(${ZU_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  else()
    find_package(GTest REQUIRED)
  endif()
endif()

# zu_report_path(out name): where the test `name` leaves its JUnit report: reports/<name>.xml in
# the build folder. ./zu test reads the report of every ctest test there and fails a test that left
# none, so every test is added through zu_add_test_run (or names its report with this).
function(zu_report_path out name)
  set(report "${CMAKE_BINARY_DIR}/reports/${name}.xml")
  if(WIN32)
    # A Windows program reads "/work/..." as relative to its current folder; Z: is Wine's root.
    set(report "Z:${report}")
  endif()
  set(${out} "${report}" PARENT_SCOPE)
endfunction()

# zu_add_test_run(name PROGRAM target [WINDOWLESS] [REGISTRY] [ENVIRONMENT VAR=value...]): one
# ctest entry that runs a GoogleTest program with its own environment (on top of ZU_TESTDATA) and
# leaves its report where ./zu test counts it. One program may be run several times under
# different names. Under Wine the emulator set by the toolchain file runs it.
#
# Under Wine every program shares one display and one prefix, and ctest runs several at once.
# Windows of different programs take focus and activation from each other (one desktop, one
# foreground window), so every Windows test run holds the lock zu_display unless it is WINDOWLESS
# (shows no window, dialog or message box). REGISTRY: it writes registrations into the prefix, or
# reads the control's, and holds zu_prefix_registration.
function(zu_add_test_run name)
  cmake_parse_arguments(ARG "WINDOWLESS;REGISTRY" "PROGRAM" "ENVIRONMENT" ${ARGN})
  if(NOT ARG_PROGRAM)
    message(FATAL_ERROR "zu_add_test_run(${name}): PROGRAM is required")
  endif()
  zu_report_path(report ${name})
  add_test(NAME ${name} COMMAND ${ARG_PROGRAM} --gtest_output=xml:${report}
           WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  set_property(TEST ${name} PROPERTY ENVIRONMENT
               "ZU_TESTDATA=${PROJECT_SOURCE_DIR}/tests/data" ${ARG_ENVIRONMENT})
  if(WIN32 AND NOT ARG_WINDOWLESS)
    set_property(TEST ${name} APPEND PROPERTY RESOURCE_LOCK zu_display)
  endif()
  if(ARG_REGISTRY)
    set_property(TEST ${name} APPEND PROPERTY RESOURCE_LOCK zu_prefix_registration)
  endif()
endfunction()

# zu_add_gtest(name SOURCES... LIBS... [WINDOWLESS] [REGISTRY] [ENVIRONMENT...]): one test
# executable and its run, named alike; the options go to zu_add_test_run.
function(zu_add_gtest name)
  cmake_parse_arguments(ARG "WINDOWLESS;REGISTRY" "" "SOURCES;LIBS;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(${name} PRIVATE ZU_TESTDATA_DIR="${PROJECT_SOURCE_DIR}/tests/data")
  set(options)
  if(ARG_WINDOWLESS)
    list(APPEND options WINDOWLESS)
  endif()
  if(ARG_REGISTRY)
    list(APPEND options REGISTRY)
  endif()
  zu_add_test_run(${name} PROGRAM ${name} ${options} ENVIRONMENT ${ARG_ENVIRONMENT})
endfunction()

# zu_copy_beside(target source AS file_name): a copy of the library `source` in the folder of the
# program `target`, named `file_name`, made by a build rule of its own, so that it follows `source`
# even when `target` does not relink (a step after linking would not). Under Wine the simulated
# camera is loaded from beside the program, or beside the DLL that imports it.
function(zu_copy_beside target source)
  cmake_parse_arguments(ARG "" "AS" "" ${ARGN})
  get_target_property(folder ${target} BINARY_DIR)
  set(copy ${folder}/${ARG_AS})
  add_custom_command(OUTPUT ${copy}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${source}> ${copy}
    DEPENDS ${source}
    COMMENT "${ARG_AS} beside ${target}")
  string(MAKE_C_IDENTIFIER "${target}_${ARG_AS}" name)
  add_custom_target(${name} DEPENDS ${copy})
  add_dependencies(${target} ${name})
endfunction()

# The type library fix-up (tools/typelib_fixup) runs on the build machine: the Windows builds
# compile it with the host's compiler, since their own compiler makes programs for Wine.
set(zu_fixup_dir ${PROJECT_SOURCE_DIR}/tools/typelib_fixup)
set(ZU_TYPELIB_FIXUP_SOURCES ${zu_fixup_dir}/msft_library.cpp ${zu_fixup_dir}/typelib_fixup.cpp)
if(WIN32)
  find_program(ZU_HOST_CXX NAMES g++ c++ clang++ REQUIRED)
  set(ZU_TYPELIB_FIXUP ${CMAKE_BINARY_DIR}/host/typelib_fixup)
  add_custom_command(
    OUTPUT ${ZU_TYPELIB_FIXUP}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/host
    COMMAND ${ZU_HOST_CXX} -std=c++17 -O2 -Wall -Wextra -I${PROJECT_SOURCE_DIR}
            -o ${ZU_TYPELIB_FIXUP} ${ZU_TYPELIB_FIXUP_SOURCES} ${zu_fixup_dir}/main.cpp
    DEPENDS ${ZU_TYPELIB_FIXUP_SOURCES} ${zu_fixup_dir}/main.cpp
            ${zu_fixup_dir}/msft_library.h ${zu_fixup_dir}/typelib_fixup.h
    COMMENT "typelib_fixup for the build machine")
  add_custom_target(zu_host_typelib_fixup DEPENDS ${ZU_TYPELIB_FIXUP})
endif()

# zu_add_typelib(target idl): compiles an IDL file with widl into a header, the interface
# identifiers and a type library in the build tree, and gives `target` an interface library that
# carries them. Wine's IDL files (libwine-dev) stand in for the Windows SDK's (the folders are
# checked in zu_debian_paths.cmake). The IDL is UTF-8;
# widl copies string bytes as they come and oleaut32 reads them in the ANSI code page, so widl gets
# a code page 932 copy: the Japanese help strings then read right under a Japanese locale.
#
# widl's library then passes through typelib_fixup, which reads two kinds of comment from the IDL:
# "//@ order: A B C" (the library holds exactly these types, in this order: widl appends what a
# coclass names, such as IUnknown, and cannot write a dispinterface first) and
# 'value = 1,  //@ helpstring("...")' (help strings for enumeration values, which widl refuses).
# Every IDL given here needs an order line.
function(zu_add_typelib target idl)
  get_filename_component(base ${idl} NAME_WE)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/generated)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(arch -m64)
  else()
    set(arch -m32)
  endif()
  add_custom_command(
    OUTPUT ${out}/${base}.h ${out}/${base}_i.c ${out}/${base}.tlb
    COMMAND ${CMAKE_COMMAND} -E make_directory ${out}
    COMMAND iconv -f UTF-8 -t CP932 -o ${out}/${base}.idl ${CMAKE_CURRENT_SOURCE_DIR}/${idl}
    COMMAND ${ZU_TRIPLET}-widl ${arch} -I${ZU_WINE_IDL_DIR} -L${ZU_STDOLE_DIR}
            -h -H ${out}/${base}.h -u -U ${out}/${base}_i.c -t -T ${out}/${base}_widl.tlb
            ${out}/${base}.idl
    COMMAND ${ZU_TYPELIB_FIXUP} -L ${ZU_STDOLE_DIR}
            ${out}/${base}.idl ${out}/${base}_widl.tlb ${out}/${base}.tlb
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${idl} ${ZU_TYPELIB_FIXUP} zu_host_typelib_fixup
    COMMENT "widl ${idl}")
  add_library(${target} STATIC ${out}/${base}_i.c)
  target_include_directories(${target} PUBLIC ${out})
  set_target_properties(${target} PROPERTIES ZU_TLB ${out}/${base}.tlb)
endfunction()

# Side-by-side manifests (the components' and the hosts' application manifest) name the
# processor architecture and a four-part version; zu_configure_manifest(template output) writes
# one for this build from its template. The release names the bitness as win32 or win64, the
# folder its part is staged in (dist/).
if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(ZU_MANIFEST_ARCH amd64)
    set(ZU_RELEASE_ARCH win64)
  else()
    set(ZU_MANIFEST_ARCH x86)
    set(ZU_RELEASE_ARCH win32)
  endif()
  set(ZU_RELEASE_STAGE ${CMAKE_BINARY_DIR}/release)
  set(ZU_MANIFEST_VERSION "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
endif()
function(zu_configure_manifest template output)
  configure_file(${template} ${output} @ONLY NEWLINE_STYLE CRLF)
endfunction()

# zu_add_version_resource(target "description"): gives a program or helper DLL of the release the
# version resource every shipped file carries (the project's version, the maker, its own name).
function(zu_add_version_resource target description)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(ZU_VERSION_FILETYPE VFT_APP)
    set(suffix .exe)
  else()
    set(ZU_VERSION_FILETYPE VFT_DLL)
    set(suffix .dll)
  endif()
  get_target_property(name ${target} OUTPUT_NAME)
  if(NOT name)
    set(name ${target})
  endif()
  set(ZU_VERSION_NAME ${name})
  set(ZU_VERSION_FILE ${name}${suffix})
  set(ZU_VERSION_DESCRIPTION "${description}")
  set(ZU_VERSION_COMMAS "${PROJECT_VERSION_MAJOR}, ${PROJECT_VERSION_MINOR}, ${PROJECT_VERSION_PATCH}, 0")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/zu_version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
