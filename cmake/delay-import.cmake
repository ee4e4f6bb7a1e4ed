# Makes a delay-import library for one system DLL from mingw-w64's ordinary import library: the
# DLL is then loaded when the program first calls it (after the program has limited where
# libraries are loaded from), not by the loader before the program's first instruction.
# Run as: cmake -DNM=... -DDLLTOOL=... -DIMPORT_LIB=libx.a -DDLL=x.dll -DOUT=libx-delay.a -P delay-import.cmake
execute_process(COMMAND ${NM} ${IMPORT_LIB} OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "cannot read ${IMPORT_LIB}")
endif()
# A function has an import pointer (I __imp_X) and a thunk (T X); data has only the pointer and
# cannot be delay-loaded.
string(REGEX MATCHALL "[ \t]I __imp_[A-Za-z0-9_@?$]+" pointers "${symbols}")
set(def "LIBRARY ${DLL}\nEXPORTS\n")
foreach(pointer ${pointers})
    string(REGEX REPLACE "^[ \t]I __imp_" "" name "${pointer}")
    string(FIND "${symbols}" " T ${name}\n" thunk)
    if(NOT thunk EQUAL -1)
        string(APPEND def "    ${name}\n")
    endif()
endforeach()
file(WRITE ${OUT}.def "${def}")
execute_process(COMMAND ${DLLTOOL} --input-def ${OUT}.def --dllname ${DLL} --output-delaylib ${OUT}
                RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "dlltool could not make ${OUT}")
endif()
