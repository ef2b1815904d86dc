# Runs at install time on the laid-out release folder: signs Uninstall.exe
# (when a certificate is given) and then writes the release manifest, which
# lists every file of the folder with its size and SHA-256.
# Expects RELEASE_SIGN_CERT, RELEASE_SIGN_KEY, RELEASE_SIGN_PASSWORD_FILE,
# RELEASE_TIMESTAMP_URL (empty: the environment variable of the same name) and
# RELEASE_PRODUCT_NAME.

set(folder "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(manifest_name Uninstall.release-manifest.txt)

foreach(setting RELEASE_SIGN_CERT RELEASE_SIGN_KEY RELEASE_SIGN_PASSWORD_FILE RELEASE_TIMESTAMP_URL)
    if("${${setting}}" STREQUAL "" AND NOT "$ENV{${setting}}" STREQUAL "")
        set(${setting} "$ENV{${setting}}")
    endif()
endforeach()

if(RELEASE_SIGN_CERT)
    find_program(OSSLSIGNCODE osslsigncode)
    if(NOT OSSLSIGNCODE)
        message(FATAL_ERROR "Signing asked for, but osslsigncode is missing (apt-get install osslsigncode)")
    endif()
    if(RELEASE_SIGN_CERT MATCHES "\\.(p12|pfx|P12|PFX)$")
        set(credentials -pkcs12 ${RELEASE_SIGN_CERT})
    elseif(RELEASE_SIGN_KEY)
        set(credentials -certs ${RELEASE_SIGN_CERT} -key ${RELEASE_SIGN_KEY})
    else()
        message(FATAL_ERROR "RELEASE_SIGN_CERT ${RELEASE_SIGN_CERT} is not PKCS#12 (.p12, .pfx); "
                            "a PEM certificate needs RELEASE_SIGN_KEY")
    endif()
    if(RELEASE_SIGN_PASSWORD_FILE)
        list(APPEND credentials -readpass ${RELEASE_SIGN_PASSWORD_FILE})
    endif()
    set(timestamp "")
    if(RELEASE_TIMESTAMP_URL)
        set(timestamp -ts ${RELEASE_TIMESTAMP_URL})
    endif()
    set(unsigned "${folder}/Uninstall.exe")
    set(signed "${folder}/Uninstall.exe.signed")
    file(REMOVE "${signed}")
    execute_process(
        COMMAND ${OSSLSIGNCODE} sign ${credentials} -h sha256 -n "${RELEASE_PRODUCT_NAME}"
                ${timestamp} -in "${unsigned}" -out "${signed}"
        RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        file(REMOVE "${signed}")
        message(FATAL_ERROR "Signing Uninstall.exe failed (${result}):\n${output}")
    endif()
    file(RENAME "${signed}" "${unsigned}")
    message(STATUS "Signed: ${unsigned}")
endif()

# "<SHA-256> <size> <path>", paths with "\" as on Windows, in a fixed order.
file(GLOB_RECURSE files RELATIVE "${folder}" LIST_DIRECTORIES false "${folder}/*")
list(REMOVE_ITEM files ${manifest_name})
list(SORT files)
set(text "# Release manifest of ${RELEASE_PRODUCT_NAME}: <SHA-256> <size in bytes> <path>\n")
foreach(file IN LISTS files)
    file(SHA256 "${folder}/${file}" hash)
    file(SIZE "${folder}/${file}" size)
    string(REPLACE "/" "\\" windows_path "${file}")
    string(APPEND text "${hash} ${size} ${windows_path}\r\n")
endforeach()
file(WRITE "${folder}/${manifest_name}" "${text}")
message(STATUS "Release manifest: ${folder}/${manifest_name}")
