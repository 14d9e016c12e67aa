# gyrofold.scr must run on a bare Windows: it may import the system's own DLLs
# and nothing else (no compiler run-time, no library of ours); ole32 for the
# Imaging Component that reads PNG and JPEG files.
# cmake -DOBJDUMP=... -DPROGRAM=... -P imports.cmake
set(allowed kernel32.dll user32.dll gdi32.dll advapi32.dll comctl32.dll comdlg32.dll msvcrt.dll ole32.dll)
execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} could not read ${PROGRAM}")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" names "${dump}")
if(NOT names)
    message(FATAL_ERROR "no imports found in ${PROGRAM}")
endif()
foreach(line ${names})
    string(REGEX REPLACE "DLL Name: *" "" dll "${line}")
    string(STRIP "${dll}" dll)
    string(TOLOWER "${dll}" dll)
    list(FIND allowed "${dll}" index)
    if(index EQUAL -1)
        message(FATAL_ERROR "${PROGRAM} imports ${dll}, which a bare Windows does not have")
    endif()
    message(STATUS "imports ${dll}")
endforeach()
