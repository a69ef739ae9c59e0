# The test kit: kelvor-<version>-tests-win32.zip (or -win64) in the build folder,
# made with everything else. It holds the GoogleTest programs, the child programs
# they start, kelvor.dll and run-tests.cmd, which runs them all on Windows without
# any tool of the build machine. Left out: the checks that are shell scripts (DLL
# tables, layers, package, display), the soak and the benchmarks.
set(KELVOR_TEST_KIT_NAME kelvor-${PROJECT_VERSION}-tests-${KELVOR_PACKAGE_ARCH})
set(kit_zip ${CMAKE_BINARY_DIR}/${KELVOR_TEST_KIT_NAME}.zip)

set(kit_programs)
set(KELVOR_KIT_CALLS)
list(SORT KELVOR_KIT_TESTS)
foreach(name ${KELVOR_KIT_TESTS})
    list(APPEND kit_programs $<TARGET_FILE:${name}>)
    string(APPEND KELVOR_KIT_CALLS "call :run ${name}.exe\n")
endforeach()
# Windows editors and older cmd versions expect CRLF line ends.
configure_file(${CMAKE_CURRENT_LIST_DIR}/run-tests.cmd.in ${CMAKE_BINARY_DIR}/generated/run-tests.cmd
    @ONLY NEWLINE_STYLE CRLF)

set(kit_files $<TARGET_FILE:kelvor> ${CMAKE_BINARY_DIR}/generated/run-tests.cmd)
foreach(name ${KELVOR_KIT_CHILDREN})
    list(APPEND kit_files $<TARGET_FILE:${name}>)
endforeach()
list(APPEND kit_files ${KELVOR_KIT_CHILD_FILES})

add_custom_command(OUTPUT ${kit_zip}
    COMMAND ${CMAKE_COMMAND} -DKIT=${CMAKE_BINARY_DIR}/test-kit -DZIP=${kit_zip}
        -DSTRIP=${CMAKE_STRIP} "-DPROGRAMS=${kit_programs}" "-DFILES=${kit_files}"
        -P ${CMAKE_CURRENT_LIST_DIR}/make_test_kit.cmake
    DEPENDS ${KELVOR_KIT_TESTS} ${KELVOR_KIT_CHILDREN} kelvor ${KELVOR_KIT_CHILD_TARGETS}
        ${CMAKE_BINARY_DIR}/generated/run-tests.cmd
        ${CMAKE_CURRENT_LIST_DIR}/make_test_kit.cmake
    COMMENT "Making ${KELVOR_TEST_KIT_NAME}.zip" VERBATIM)
add_custom_target(test_kit ALL DEPENDS ${kit_zip})
