# Running the Windows programs of this build under Wine.
#
# The test prefix lives in the build tree. It is created at build time (test
# discovery already runs the test programs) and checked again by a CTest setup
# fixture that every test requires. Every Windows program runs through
# wine-run.sh, which copies the built programs into the prefix's C:\bin and
# starts them from there, so that nothing a test runs can reach outside the
# prefix.

find_program(WINE_EXECUTABLE wine REQUIRED)

set(WINE_TEST_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(WINE_RUN ${CMAKE_BINARY_DIR}/wine-run.sh)
configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-run.sh.in ${WINE_RUN} @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_RUN})

add_custom_command(
    OUTPUT ${WINE_TEST_PREFIX}/.ready
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/make-prefix.sh ${WINE_TEST_PREFIX}
    COMMENT "Creating the Wine test prefix"
    VERBATIM)
add_custom_target(wine_prefix ALL DEPENDS ${WINE_TEST_PREFIX}/.ready)

add_test(NAME wine_prefix_setup
         COMMAND ${CMAKE_SOURCE_DIR}/scripts/make-prefix.sh ${WINE_TEST_PREFIX})
set_tests_properties(wine_prefix_setup PROPERTIES FIXTURES_SETUP wine_prefix)

include(GoogleTest)

# add_windows_gtest(<name> SOURCES ... [LIBS ...] [DEPENDS ...] [LOCK <resource>])
# A GoogleTest program run under Wine, one CTest test per test case. LOCK names a
# CTest resource lock for suites that change state shared by the whole prefix.
function(add_windows_gtest name)
    cmake_parse_arguments(ARG "" "LOCK" "SOURCES;LIBS;DEPENDS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} test_support GTest::gtest_main)
    add_dependencies(${name} wine_prefix)
    if(ARG_DEPENDS)
        add_dependencies(${name} ${ARG_DEPENDS})
    endif()
    set(props FIXTURES_REQUIRED wine_prefix)
    if(ARG_LOCK)
        list(APPEND props RESOURCE_LOCK ${ARG_LOCK})
    endif()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 120 PROPERTIES ${props})
endfunction()
