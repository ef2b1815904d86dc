# zlib and minizip for the archive extraction, GoogleTest for the tests.
#
# On this Linux machine zlib comes from Debian's MinGW package and minizip's
# sources from Debian's zlib source package (scripts/setup-deps.sh puts them in
# third_party/minizip). On Windows, vcpkg or MSYS2 provide both as packages.

set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)

set(MINIZIP_SOURCE_DIR ${CMAKE_SOURCE_DIR}/third_party/minizip CACHE PATH
    "Folder holding minizip's unzip.c, ioapi.c and their headers")

if(EXISTS ${MINIZIP_SOURCE_DIR}/unzip.c)
    add_library(minizip STATIC ${MINIZIP_SOURCE_DIR}/unzip.c ${MINIZIP_SOURCE_DIR}/ioapi.c)
    target_include_directories(minizip SYSTEM PUBLIC ${MINIZIP_SOURCE_DIR})
    target_compile_definitions(minizip PRIVATE NOCRYPT NOUNCRYPT)
    target_link_libraries(minizip PUBLIC ZLIB::ZLIB)
    add_library(minizip::minizip ALIAS minizip)
else()
    # Packaged minizip (vcpkg: "minizip", MSYS2: mingw-w64-x86_64-minizip).
    find_package(minizip CONFIG QUIET)
    if(NOT TARGET minizip::minizip)
        find_path(MINIZIP_INCLUDE_DIR unzip.h PATH_SUFFIXES minizip REQUIRED)
        find_library(MINIZIP_LIBRARY NAMES minizip unzip REQUIRED)
        add_library(minizip::minizip UNKNOWN IMPORTED)
        set_target_properties(minizip::minizip PROPERTIES
            IMPORTED_LOCATION ${MINIZIP_LIBRARY}
            INTERFACE_INCLUDE_DIRECTORIES ${MINIZIP_INCLUDE_DIR}
            INTERFACE_LINK_LIBRARIES ZLIB::ZLIB)
    endif()
endif()

if(INSTALLER_BUILD_TESTS)
    set(GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(${GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()
