# Release package: kelvor-<version>-win32.zip or -win64.zip, built by
# `cmake --build BUILD --target package` (or scripts/package.sh for both).
# It holds the DLL, its launcher and a README.txt for Windows users, at the top
# of the zip, so that "Extract All" gives one folder with the three files.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(KELVOR_PACKAGE_ARCH win64)
else()
    set(KELVOR_PACKAGE_ARCH win32)
endif()

# Windows editors expect CRLF line ends.
configure_file(${CMAKE_CURRENT_LIST_DIR}/README.txt.in ${CMAKE_BINARY_DIR}/generated/README.txt
    @ONLY NEWLINE_STYLE CRLF)

# The files themselves, not the targets: the DLL's import library stays out.
install(PROGRAMS $<TARGET_FILE:kelvor> $<TARGET_FILE:kelvor-host> DESTINATION .)
install(FILES ${CMAKE_BINARY_DIR}/generated/README.txt DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME kelvor)
set(CPACK_PACKAGE_VENDOR KELVOR)
set(KELVOR_PACKAGE_NAME kelvor-${PROJECT_VERSION}-${KELVOR_PACKAGE_ARCH})
set(CPACK_PACKAGE_FILE_NAME ${KELVOR_PACKAGE_NAME})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
include(CPack)
