# Compiler settings shared by every target of the project.

# Floating point must give the same bits on native Linux, x86 and x64:
# SSE arithmetic on i686 (never x87), no contraction into fused multiply-adds,
# no fast-math anywhere.
add_compile_options(-ffp-contract=off)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "i686|i386|x86$")
  add_compile_options(-msse2 -mfpmath=sse)
endif()

if(WIN32)
  # A plug-in must load in a host that has nothing but the system DLLs.
  add_link_options(-static -static-libgcc -static-libstdc++)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  # The Windows ABIs guarantee only 16-byte stack alignment, and GCC does not realign the
  # stack for 32-byte AVX spills there: the assembler turns aligned vector moves into
  # unaligned ones, which cost the same on aligned data.
  add_compile_options(-Wa,-muse-unaligned-vector-move)
  # Programs run under Wine in a private prefix inside the build tree.
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_SOURCE_DIR}/cmake/wine-run.sh ${CMAKE_BINARY_DIR}/wineprefix)
  set(GW_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
endif()

if(GW_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# gw_warnings(target): the project's warning set, errors in CI.
function(gw_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(GW_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# GoogleTest: Debian's packages natively, built from source for the other targets.
if(GW_BUILD_TESTS)
  if(CMAKE_CROSSCOMPILING)
    if(NOT TARGET gtest)
      set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
      set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
      set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
      add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL)
    endif()
  else()
    find_package(GTest REQUIRED)
  endif()
  include(GoogleTest)
endif()

# gw_wine_test_properties(test...): a Windows test runs under Wine; where the
# machine cannot run 32-bit programs, cmake/wine-run.sh exits 77 for x86 ones
# and the test is reported as skipped rather than failed.
# Each ctest run starts from fresh prefixes: the fixture in tests/ deletes the build
# tree's prefixes before the first Windows test, and wine-run.sh makes them anew.
function(gw_wine_test_properties)
  set_tests_properties(${ARGN} PROPERTIES SKIP_RETURN_CODE 77)
  if(WIN32)
    set_tests_properties(${ARGN} PROPERTIES FIXTURES_REQUIRED gw_fresh_wine_prefixes)
  endif()
endfunction()

# gw_add_gtest(name SOURCES... LIBS...): one test program; natively each test
# case is registered with ctest, under Wine the whole program is one ctest entry
# (each Wine start costs about a second); the same under qemu for 32-bit Linux.
function(gw_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  gw_warnings(${name})
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name})
    gw_wine_test_properties(${name})
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
  endif()
endfunction()
