# Builds Pellora.msi with wixl from the files the setup program installs (its stage, made by
# build-installer.cmake, so the same and, when configured, signed files): lists them as one
# component each in the component group PelloraFiles and runs wixl on pellora.wxs with it.
#
# Usage: cmake -DSTAGE_DIR= -DOUT_FILE= -DWIXL= -DVERSION= -P build-msi.cmake
cmake_minimum_required(VERSION 3.20)

set(files_dir "${STAGE_DIR}/files")
file(GLOB_RECURSE files RELATIVE "${files_dir}" LIST_DIRECTORIES false "${files_dir}/*")
list(SORT files)
if(NOT "pellora-cli.exe" IN_LIST files)
    message(FATAL_ERROR "${files_dir} holds no pellora-cli.exe")
endif()

# One Directory element per folder below the application folder; the files go into the folder
# of their directory. Ids are derived from the paths, so two builds give the same tables.
set(by_dir "")
foreach(file ${files})
    get_filename_component(dir "${file}" DIRECTORY)
    if(dir STREQUAL "")
        set(dir ".")  # an empty list element would vanish
    endif()
    list(APPEND by_dir "${dir}")
endforeach()
list(REMOVE_DUPLICATES by_dir)

set(components "")
set(refs "")
foreach(dir ${by_dir})
    if(NOT dir STREQUAL ".")
        string(MAKE_C_IDENTIFIER "d_${dir}" dir_id)
        string(APPEND components "      <Directory Id=\"${dir_id}\" Name=\"${dir}\">\n")
    endif()
    foreach(file ${files})
        get_filename_component(file_dir "${file}" DIRECTORY)
        if(file_dir STREQUAL "")
            set(file_dir ".")
        endif()
        if(NOT file_dir STREQUAL dir)
            continue()
        endif()
        get_filename_component(name "${file}" NAME)
        string(MAKE_C_IDENTIFIER "f_${file}" file_id)
        # The secure-folder action runs the installed console program by this key.
        if(file STREQUAL "pellora-cli.exe")
            set(file_id "PelloraCli")
        endif()
        string(MAKE_C_IDENTIFIER "c_${file}" component_id)
        string(UUID guid NAMESPACE 6F3B2C1E-8D4A-4E57-9A61-2B7C0D9E4F15 NAME "${file}" TYPE SHA1 UPPER)
        string(APPEND components
               "        <Component Id=\"${component_id}\" Guid=\"${guid}\" Win64=\"yes\">\n"
               "          <File Id=\"${file_id}\" Name=\"${name}\" Source=\"${file}\" KeyPath=\"yes\"/>\n"
               "        </Component>\n")
        string(APPEND refs "      <ComponentRef Id=\"${component_id}\"/>\n")
    endforeach()
    if(NOT dir STREQUAL ".")
        string(APPEND components "      </Directory>\n")
    endif()
endforeach()

file(WRITE "${STAGE_DIR}/files.wxs"
     "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
     "<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">\n"
     "  <Fragment>\n    <DirectoryRef Id=\"INSTALLDIR\">\n${components}    </DirectoryRef>\n  </Fragment>\n"
     "  <Fragment>\n    <ComponentGroup Id=\"PelloraFiles\">\n${refs}    </ComponentGroup>\n  </Fragment>\n"
     "</Wix>\n")

# wixl takes sources relative to the folder it runs in: the staged files.
execute_process(COMMAND "${WIXL}" -a x64 -D "Version=${VERSION}" -o "${OUT_FILE}" "${CMAKE_CURRENT_LIST_DIR}/pellora.wxs"
                        "${STAGE_DIR}/files.wxs"
                WORKING_DIRECTORY "${files_dir}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    file(REMOVE "${OUT_FILE}")
    message(FATAL_ERROR "wixl failed")
endif()
