# Reads the recorder's systemd user unit as the service manager would need
# it: restarted on failure, run in the station's directory, the installed
# program, started with the user's session (systemd itself does not run on
# every machine that builds this).
#   cmake -DUNIT=... -DBINDIR=... -P check-recorder-unit.cmake
file(STRINGS "${UNIT}" lines ENCODING UTF-8)
set(section "")
set(seen "")
foreach(line IN LISTS lines)
    if(line MATCHES "^#" OR line STREQUAL "")
        continue()
    endif()
    if(line MATCHES "^\\[(.*)\\]$")
        set(section "${CMAKE_MATCH_1}")
        continue()
    endif()
    if(NOT line MATCHES "^[A-Za-z]+=")
        message(FATAL_ERROR "not a key=value line in [${section}]: ${line}")
    endif()
    list(APPEND seen "${section}/${line}")
endforeach()
foreach(expected "Service/Type=simple" "Service/WorkingDirectory=%h/zep"
        "Service/ExecStart=${BINDIR}/zep-recorder" "Service/Restart=on-failure"
        "Service/KillSignal=SIGTERM" "Install/WantedBy=default.target" "Unit/StartLimitIntervalSec=0")
    list(FIND seen "${expected}" at)
    if(at LESS 0)
        message(FATAL_ERROR "${UNIT} lacks ${expected}: ${seen}")
    endif()
endforeach()
message(STATUS "${UNIT}: ${seen}")
