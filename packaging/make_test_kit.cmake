# Script run at build time (cmake -P) that makes the test kit's zip:
#   -DKIT=folder to fill  -DZIP=zip to write  -DSTRIP=strip program
#   -DPROGRAMS=test programs, stripped on the way  -DFILES=other files, copied
# Files lie at the top of the zip, like the release package's.
file(REMOVE_RECURSE ${KIT})
file(MAKE_DIRECTORY ${KIT})
set(names)
foreach(program ${PROGRAMS})
    get_filename_component(name ${program} NAME)
    # The test programs carry their symbols (some MiB each), which no Windows
    # debugger reads.
    execute_process(COMMAND ${STRIP} -o ${KIT}/${name} ${program} RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "cannot strip ${program}")
    endif()
    list(APPEND names ${name})
endforeach()
foreach(file ${FILES})
    get_filename_component(name ${file} NAME)
    file(COPY ${file} DESTINATION ${KIT})
    list(APPEND names ${name})
endforeach()
file(REMOVE ${ZIP})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${ZIP} --format=zip -- ${names}
    WORKING_DIRECTORY ${KIT} RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "cannot make ${ZIP}")
endif()
