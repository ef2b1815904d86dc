# The release: `cmake --install` lays out the release folder (Uninstall.exe
# and the client's files), signs Uninstall.exe when a certificate is given and
# writes the release manifest beside it; `cmake --build --preset windows
# --target package` zips that folder as QuellmoorClient-<version>-win64.zip
# with a .sha256 file beside it.
#
# Settings (cache variables; each also read from the environment variable of
# the same name when the cache variable is empty, at packaging time):
#   RELEASE_CLIENT_DIR          folder with the client's files; empty: the
#                               stand-ins of this build (tests and demo)
#   RELEASE_SIGN_CERT           PKCS#12 file (.p12/.pfx), or a PEM certificate
#   RELEASE_SIGN_KEY            PEM private key, with a PEM certificate
#   RELEASE_SIGN_PASSWORD_FILE  file holding the key's password, if it has one
#   RELEASE_TIMESTAMP_URL       RFC 3161 time-stamp server, optional
# Keys and certificates belong outside the repository.

set(RELEASE_CLIENT_DIR "" CACHE PATH "Folder with the client's files for the release")
set(RELEASE_SIGN_CERT "" CACHE FILEPATH "Signing certificate: PKCS#12, or PEM with RELEASE_SIGN_KEY")
set(RELEASE_SIGN_KEY "" CACHE FILEPATH "PEM private key for a PEM signing certificate")
set(RELEASE_SIGN_PASSWORD_FILE "" CACHE FILEPATH "File holding the signing key's password")
set(RELEASE_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamp server URL for the signature")

if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
    set(CMAKE_INSTALL_PREFIX ${CMAKE_BINARY_DIR}/release CACHE PATH "Release folder" FORCE)
endif()

# The client's files first, so that this build's Uninstall.exe wins over one
# that the folder may hold; a stale manifest in it is left out.
if(RELEASE_CLIENT_DIR)
    install(DIRECTORY ${RELEASE_CLIENT_DIR}/ DESTINATION .
            PATTERN Uninstall.release-manifest.txt EXCLUDE)
elseif(TARGET VuClient)
    install(TARGETS VuClient DESKHubClient KivClientSystem RUNTIME DESTINATION .)
else()
    message(WARNING "RELEASE_CLIENT_DIR is empty and the stand-ins are not built: "
                    "the release holds Uninstall.exe alone")
endif()
install(TARGETS Uninstall RUNTIME DESTINATION .)

# Last: signing and the manifest, on the laid-out folder.
install(CODE "
set(RELEASE_SIGN_CERT [[${RELEASE_SIGN_CERT}]])
set(RELEASE_SIGN_KEY [[${RELEASE_SIGN_KEY}]])
set(RELEASE_SIGN_PASSWORD_FILE [[${RELEASE_SIGN_PASSWORD_FILE}]])
set(RELEASE_TIMESTAMP_URL [[${RELEASE_TIMESTAMP_URL}]])
set(RELEASE_PRODUCT_NAME [[Quellmoor Basic RDP Client]])
include([[${CMAKE_CURRENT_LIST_DIR}/ReleaseFolder.cmake]])
")

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME QuellmoorClient)
set(CPACK_PACKAGE_VENDOR Quellmoor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME QuellmoorClient-${PROJECT_VERSION}-win64)
# The zip holds one folder of that name: unpacked anywhere, it is a release
# folder of its own, which the install empties and removes.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_OUTPUT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackConfig.cmake)
include(CPack)
