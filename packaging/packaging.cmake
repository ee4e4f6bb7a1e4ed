# Pellora-setup.exe, built with every `windows` build from the staged application folder by
# makensis (packaging/build-installer.cmake, packaging/pellora.nsi). With PELLORA_SIGN_CERT and
# PELLORA_SIGN_KEY in the environment the staged executables, the uninstaller and the installer
# are signed with Authenticode (packaging/sign.cmake).
find_program(PELLORA_MAKENSIS makensis)
find_program(PELLORA_OSSLSIGNCODE osslsigncode)
if(NOT PELLORA_MAKENSIS)
    message(STATUS "makensis not found: no installer")
    return()
endif()
set(PELLORA_INSTALLER ${CMAKE_BINARY_DIR}/Pellora-setup.exe)
set(PELLORA_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
add_custom_command(
    OUTPUT ${PELLORA_INSTALLER}
    COMMAND ${CMAKE_COMMAND} -DAPP_DIR=${PELLORA_APP_DIR} -DSTAGE_DIR=${CMAKE_BINARY_DIR}/installer-stage
            -DOUT_FILE=${PELLORA_INSTALLER} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DMAKENSIS=${PELLORA_MAKENSIS}
            -DOSSLSIGNCODE=${PELLORA_OSSLSIGNCODE} -P ${PELLORA_PACKAGING_DIR}/build-installer.cmake
    DEPENDS Pellora pellora-cli pellora-db stage_app ${PELLORA_APP_DIR}/DataBase.ref ${PELLORA_APP_DIR}/Help/help.htm
            ${PELLORA_PACKAGING_DIR}/pellora.nsi ${PELLORA_PACKAGING_DIR}/build-installer.cmake
            ${PELLORA_PACKAGING_DIR}/sign.cmake ${CMAKE_SOURCE_DIR}/src/gui/pellora.ico
    COMMENT "Building the installer Pellora-setup.exe"
    VERBATIM)
add_custom_target(installer ALL DEPENDS ${PELLORA_INSTALLER})

# Pellora.msi beside it, for deployment by management systems: the same staged files, packaged by
# wixl (Debian's msitools) from pellora.wxs (packaging/build-msi.cmake).
find_program(PELLORA_WIXL wixl)
if(NOT PELLORA_WIXL)
    message(STATUS "wixl not found: no MSI package")
    return()
endif()
set(PELLORA_MSI ${CMAKE_BINARY_DIR}/Pellora.msi)
add_custom_command(
    OUTPUT ${PELLORA_MSI}
    COMMAND ${CMAKE_COMMAND} -DSTAGE_DIR=${CMAKE_BINARY_DIR}/installer-stage -DOUT_FILE=${PELLORA_MSI}
            -DWIXL=${PELLORA_WIXL} -DVERSION=${PROJECT_VERSION} -P ${PELLORA_PACKAGING_DIR}/build-msi.cmake
    DEPENDS ${PELLORA_INSTALLER} ${PELLORA_PACKAGING_DIR}/pellora.wxs ${PELLORA_PACKAGING_DIR}/build-msi.cmake
    COMMENT "Building the MSI package Pellora.msi"
    VERBATIM)
add_custom_target(msi ALL DEPENDS ${PELLORA_MSI})
