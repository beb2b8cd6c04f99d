# Installs the build into a fresh prefix and checks what a desktop needs to
# list the program: the executable, the menu entry and the icon it names;
# and the recorder with its systemd user unit.
#   cmake -DBUILD_DIR=... -DPREFIX=... -P check-install.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${output}")
endif()

set(program "${PREFIX}/bin/zep")
set(entry "${PREFIX}/share/applications/zep.desktop")
set(icon "${PREFIX}/share/icons/hicolor/128x128/apps/zep.png")
set(recorder "${PREFIX}/bin/zep-recorder")
set(unit "${PREFIX}/lib/systemd/user/zep-recorder.service")
foreach(path "${program}" "${entry}" "${icon}" "${recorder}" "${unit}")
    if(NOT EXISTS "${path}")
        message(FATAL_ERROR "not installed: ${path}")
    endif()
endforeach()
if(IS_DIRECTORY "${PREFIX}/bin/zep-meter-sim" OR EXISTS "${PREFIX}/bin/zep-meter-sim")
    message(FATAL_ERROR "the simulator is a development tool and is not installed")
endif()

file(STRINGS "${entry}" lines ENCODING UTF-8)
foreach(expected "[Desktop Entry]" "Type=Application" "Exec=zep %F" "Icon=zep" "Name=ZEP"
        "Name[zh_CN]=ZEP 电量分析软件" "MimeType=text/plain;")
    list(FIND lines "${expected}" at)
    if(at LESS 0)
        message(FATAL_ERROR "zep.desktop lacks the line ${expected}")
    endif()
endforeach()

file(READ "${icon}" signature LIMIT 8 HEX)
if(NOT signature STREQUAL "89504e470d0a1a0a")
    message(FATAL_ERROR "the icon is not a PNG image")
endif()

find_program(VALIDATE desktop-file-validate)
if(VALIDATE)
    execute_process(COMMAND "${VALIDATE}" "${entry}" RESULT_VARIABLE result OUTPUT_VARIABLE output
        ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "desktop-file-validate: ${output}")
    endif()
endif()
# The unit as a service manager needs it (systemd itself does not run on
# every machine that builds this).
file(STRINGS "${unit}" lines ENCODING UTF-8)
foreach(expected "[Service]" "WorkingDirectory=%h/zep" "Restart=on-failure" "KillSignal=SIGTERM" "[Install]"
        "WantedBy=default.target")
    list(FIND lines "${expected}" at)
    if(at LESS 0)
        message(FATAL_ERROR "zep-recorder.service lacks the line ${expected}")
    endif()
endforeach()
list(FILTER lines INCLUDE REGEX "^ExecStart=/.+/bin/zep-recorder$")
if(NOT lines)
    message(FATAL_ERROR "zep-recorder.service does not start the installed recorder")
endif()
message(STATUS "installed: ${program}, ${entry}, ${icon}, ${recorder}, ${unit}")
