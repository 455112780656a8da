# The Windows setup program, built with NSIS (makensis) from vendrel.nsi over what `cmake --install` puts into
# the program folder: Vendrel-<version>-setup.exe in the build folder. It installs into
# "Program Files\Brannoc\Vendrel", adds a Start-menu entry and an uninstaller registered in Add/Remove Programs;
# /S installs and uninstalls silently. Built with the rest where makensis is found (Debian: nsis).
find_program(VENDREL_MAKENSIS makensis)
option(VENDREL_INSTALLER "Build the Windows setup program with NSIS" ON)
if(NOT VENDREL_MAKENSIS OR NOT VENDREL_INSTALLER)
    message(STATUS "makensis not found (Debian: nsis): no setup program")
    return()
endif()

set(VENDREL_SETUP ${PROJECT_BINARY_DIR}/Vendrel-${PROJECT_VERSION}-setup.exe)
add_custom_command(
    OUTPUT ${VENDREL_SETUP}
    COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR} -DSTAGE=${PROJECT_BINARY_DIR}/installer-stage
            -DMAKENSIS=${VENDREL_MAKENSIS} -DSCRIPT=${CMAKE_CURRENT_LIST_DIR}/vendrel.nsi
            -DVERSION=${PROJECT_VERSION} -DOUTPUT=${VENDREL_SETUP} -DSTRIP=${CMAKE_STRIP}
            -DICON=${VENDREL_ICON} "-DCOPYRIGHT=${VENDREL_COPYRIGHT}"
            -P ${CMAKE_CURRENT_LIST_DIR}/make-installer.cmake
    DEPENDS vendrel vendrel-script vendrel-run vendrel_windows_runtime vendrel_program_files ${VENDREL_ICON}
            ${CMAKE_CURRENT_LIST_DIR}/vendrel.nsi ${CMAKE_CURRENT_LIST_DIR}/make-installer.cmake
            $<TARGET_FILE:vendrel> $<TARGET_FILE:vendrel-script> ${VENDREL_SAMPLE_TEMPLATES}
            ${PROJECT_SOURCE_DIR}/resources/Init.reg
    COMMENT "Building the setup program with NSIS"
    VERBATIM)
add_custom_target(vendrel_installer ALL DEPENDS ${VENDREL_SETUP})
# tests/windows/CMakeLists.txt installs it under Wine (installer_win).
