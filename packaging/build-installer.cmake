# Builds Pellora-setup.exe: stages the application folder without the data the program keeps
# there at run time, signs the staged executables when a certificate is given (sign.cmake),
# writes the list of staged files for the installer script and runs makensis on it.
#
# Usage: cmake -DAPP_DIR= -DSTAGE_DIR= -DOUT_FILE= -DSOURCE_DIR= -DMAKENSIS= [-DOSSLSIGNCODE=]
#              -P build-installer.cmake
# SOURCE_DATE_EPOCH, when not set, is the time of the source tree's last commit; it is the
# signing time, and no other time reaches the installer.
cmake_minimum_required(VERSION 3.20)

if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    execute_process(COMMAND git -C "${SOURCE_DIR}" log -1 --format=%ct
                    OUTPUT_VARIABLE epoch RESULT_VARIABLE result OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(result EQUAL 0 AND epoch MATCHES "^[0-9]+$")
        set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
    endif()
endif()

file(REMOVE_RECURSE "${STAGE_DIR}")
file(MAKE_DIRECTORY "${STAGE_DIR}/files")
file(GLOB_RECURSE files RELATIVE "${APP_DIR}" LIST_DIRECTORIES false "${APP_DIR}/*")
list(SORT files)
# What the program itself keeps in its folder is never part of an installation.
list(FILTER files EXCLUDE REGEX "^(Settings|Quarantine|Registry Backups)/|^DavEre\\.roz$|^Uninstall\\.exe$")
if(NOT "Pellora.exe" IN_LIST files)
    message(FATAL_ERROR "${APP_DIR} holds no Pellora.exe")
endif()

set(sign_command "\"${CMAKE_COMMAND}\" \"-DOSSLSIGNCODE=${OSSLSIGNCODE}\" -P \"${CMAKE_CURRENT_LIST_DIR}/sign.cmake\"")
set(install "!macro PelloraInstallFiles\n")
set(remove "!macro PelloraRemoveFiles\n")
set(current_dir "-")
set(dirs "")
set(total 0)
foreach(file ${files})
    get_filename_component(dir "${file}" DIRECTORY)
    get_filename_component(source_dir "${STAGE_DIR}/files/${file}" DIRECTORY)
    file(MAKE_DIRECTORY "${source_dir}")
    file(COPY_FILE "${APP_DIR}/${file}" "${STAGE_DIR}/files/${file}")
    if(file MATCHES "\\.exe$" AND DEFINED ENV{PELLORA_SIGN_CERT} AND NOT "$ENV{PELLORA_SIGN_CERT}" STREQUAL "")
        execute_process(COMMAND "${CMAKE_COMMAND}" "-DOSSLSIGNCODE=${OSSLSIGNCODE}"
                        -P "${CMAKE_CURRENT_LIST_DIR}/sign.cmake" "${STAGE_DIR}/files/${file}"
                        RESULT_VARIABLE result)
        if(NOT result EQUAL 0)
            message(FATAL_ERROR "signing ${file} failed")
        endif()
    endif()
    file(SIZE "${STAGE_DIR}/files/${file}" size)
    math(EXPR total "${total} + ${size}")
    string(REPLACE "/" "\\" windows_file "${file}")
    string(REPLACE "/" "\\" windows_dir "${dir}")
    if(NOT dir STREQUAL current_dir)
        set(current_dir "${dir}")
        if(dir STREQUAL "")
            string(APPEND install "    SetOutPath \"$INSTDIR\"\n")
        else()
            string(APPEND install "    SetOutPath \"$INSTDIR\\${windows_dir}\"\n")
            list(APPEND dirs "${windows_dir}")
        endif()
    endif()
    string(APPEND install "    File \"${STAGE_DIR}/files/${file}\"\n")
    string(APPEND remove "    Delete \"$INSTDIR\\${windows_file}\"\n")
endforeach()
# Folders deepest first, each removed only when empty.
list(REMOVE_DUPLICATES dirs)
list(SORT dirs ORDER DESCENDING)
foreach(dir ${dirs})
    string(APPEND remove "    RMDir \"$INSTDIR\\${dir}\"\n")
endforeach()
math(EXPR total_kb "(${total} + 1023) / 1024")
string(APPEND install "!macroend\n")
string(APPEND remove "!macroend\n")
file(WRITE "${STAGE_DIR}/files.nsh" "${install}${remove}!define INSTALLED_SIZE_KB ${total_kb}\n")

set(defines "-DSTAGE_DIR=${STAGE_DIR}/files" "-DFILE_LIST=${STAGE_DIR}/files.nsh" "-DOUT_FILE=${OUT_FILE}"
            "-DICON_FILE=${SOURCE_DIR}/src/gui/pellora.ico")
if(DEFINED ENV{PELLORA_SIGN_CERT} AND NOT "$ENV{PELLORA_SIGN_CERT}" STREQUAL "")
    list(APPEND defines "-DSIGN_COMMAND=${sign_command}")
endif()
execute_process(COMMAND "${MAKENSIS}" -V2 -NOCD ${defines} "${CMAKE_CURRENT_LIST_DIR}/pellora.nsi"
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    file(REMOVE "${OUT_FILE}")
    message(FATAL_ERROR "makensis failed")
endif()
