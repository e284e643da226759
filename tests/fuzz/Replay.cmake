# Replays each harness's corpus folder through its plain program; the first failure
# stops the test with the program's output, which names the input it was on.
foreach(harness IN LISTS HARNESSES)
    execute_process(COMMAND ${FUZZ_BIN}/fuzz_${harness} ${CORPUS}/${harness}
                    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "fuzz_${harness} failed (${rc}):\n${out}")
    endif()
    string(REGEX MATCH "[0-9]+ inputs replayed" count "${out}")
    message(STATUS "fuzz_${harness}: ${count}")
endforeach()
