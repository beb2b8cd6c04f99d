# Fails when a program of the acquisition core loads Qt GUI or Qt Widgets,
# directly or through another library, as ldd lists what it loads.
#   cmake -DPROGRAM=... -P check-core-links.cmake
execute_process(COMMAND ldd "${PROGRAM}" RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "ldd ${PROGRAM} failed: ${output}")
endif()
if(NOT output MATCHES "libQt5Core")
    message(FATAL_ERROR "ldd lists no libQt5Core for ${PROGRAM}: ${output}")
endif()
foreach(library libQt5Gui libQt5Widgets)
    if(output MATCHES "${library}")
        message(FATAL_ERROR "${PROGRAM} loads ${library}:\n${output}")
    endif()
endforeach()
