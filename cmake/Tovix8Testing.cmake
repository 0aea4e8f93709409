# tovix8_add_test(<name> SOURCES <files...> [LIBS <targets...>] [TIMEOUT s] [LABELS l...])
#
# Native: discovered per test case by gtest_discover_tests.
# Win32: one ctest entry per executable (every Wine start costs seconds),
# run through the cross-compiling emulator inside the shared Wine fixture.
include(GoogleTest)

if(WIN32 AND CMAKE_CROSSCOMPILING)
  set(TOVIX8_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Private Wine prefix of this build tree")
  # The prefix matches the target: 32-bit programs in a win32 prefix through
  # the wine launcher, 64-bit test builds in a win64 prefix through wine64.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(TOVIX8_WINEARCH win64)
    find_program(TOVIX8_WINE_LOADER NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
    if(NOT TOVIX8_WINE_LOADER)
      find_program(TOVIX8_WINE_LOADER NAMES wine64 wine)
    endif()
  else()
    set(TOVIX8_WINEARCH win32)
    find_program(TOVIX8_WINE_LOADER NAMES wine)
  endif()
  if(NOT TOVIX8_WINE_LOADER)
    set(TOVIX8_WINE_LOADER wine)
  endif()
  configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run CACHE FILEPATH "" FORCE)
  add_test(NAME wine.start COMMAND ${CMAKE_BINARY_DIR}/wine-run --start-server)
  set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
  add_test(NAME wine.stop COMMAND ${CMAKE_BINARY_DIR}/wine-run --stop-server)
  set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 120)
endif()

function(tovix8_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest_main)
  if(WIN32 AND CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT ${T_TIMEOUT}
                         LABELS "win32;${T_LABELS}")
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
                         PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "native;${T_LABELS}")
  endif()
endfunction()
