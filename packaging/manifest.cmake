# The application manifest (kelvor.manifest, embedded by manifest.rc as resource
# type 24, id 1) of the launcher and of every test program: UTF-8 as the active code
# page, the common controls of version 6, the supported systems, the caller's own
# rights (asInvoker), GDI scaling. Included by the project and by the idle child's
# own project; kelvor_manifest(TARGET) adds it to a program. (mingw-w64's compiler
# would add a default manifest of its own where its default-manifest.o exists, which
# Debian's packages lack: tests/packaging/manifests_test.sh checks that each program
# carries ours alone.)
set(KELVOR_MANIFEST_RC ${CMAKE_CURRENT_LIST_DIR}/manifest.rc)
set(KELVOR_MANIFEST ${CMAKE_CURRENT_LIST_DIR}/kelvor.manifest)

function(kelvor_manifest target)
    target_sources(${target} PRIVATE ${KELVOR_MANIFEST_RC})
    # The resource compiler's dependency scan sees #include only, not the file
    # that the resource statement names.
    set_source_files_properties(${KELVOR_MANIFEST_RC} TARGET_DIRECTORY ${target}
        PROPERTIES OBJECT_DEPENDS ${KELVOR_MANIFEST})
endfunction()
