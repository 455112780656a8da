# Where an installed Vendrel keeps its files, and the Debian package made from them.
#
#   bin/vendrel, bin/vendrel-script, bin/vendrel-run
#   share/applications/vendrel.desktop, share/icons/hicolor/<size>/apps/vendrel.png (and scalable .svg)
#   share/vendrel/            the program folder: sample templates (*.scr), and where an administrator puts
#                             Init.reg and the start drawing helvscr.dwg
#   share/vendrel/examples/   a sample Init.reg (inactive until copied into the program folder)
#   share/man/man1/vendrel-script.1.gz, share/man/man1/vendrel-run.1.gz
#
# On Windows everything of the program folder lies beside the executable instead.
include(GNUInstallDirs)

if(WIN32)
    set(VENDREL_PROGRAM_FOLDER ${CMAKE_INSTALL_BINDIR})
else()
    set(VENDREL_PROGRAM_FOLDER ${CMAKE_INSTALL_DATADIR}/vendrel)
endif()
file(GLOB VENDREL_SAMPLE_TEMPLATES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/resources/templates/*.scr)

if(TARGET vendrel)
    install(TARGETS vendrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${VENDREL_SAMPLE_TEMPLATES} DESTINATION ${VENDREL_PROGRAM_FOLDER})
    install(FILES ${PROJECT_SOURCE_DIR}/resources/Init.reg DESTINATION ${VENDREL_PROGRAM_FOLDER}/examples)
    if(NOT WIN32)
        install(FILES ${PROJECT_SOURCE_DIR}/resources/vendrel.desktop
                DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
        foreach(size 16 22 24 32 48 64 128 256)
            install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/${size}/vendrel.png
                    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
        endforeach()
        install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/vendrel.svg
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    endif()

    # A run from the build tree finds the sample templates in its program folder too.
    set(VENDREL_BUILD_TEMPLATES)
    foreach(template IN LISTS VENDREL_SAMPLE_TEMPLATES)
        get_filename_component(name ${template} NAME)
        add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/${name}
                           COMMAND ${CMAKE_COMMAND} -E copy_if_different ${template} ${PROJECT_BINARY_DIR}/${name}
                           DEPENDS ${template} VERBATIM)
        list(APPEND VENDREL_BUILD_TEMPLATES ${PROJECT_BINARY_DIR}/${name})
    endforeach()
    add_custom_target(vendrel_program_files ALL DEPENDS ${VENDREL_BUILD_TEMPLATES})
endif()

# The command-line tools, each with its manual page.
find_program(VENDREL_GZIP gzip)
foreach(tool vendrel-script vendrel-run)
    if(NOT TARGET ${tool})
        continue()
    endif()
    install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    if(NOT WIN32)
        # Manual pages are installed compressed, as man and the Debian tools expect them.
        set(page ${PROJECT_SOURCE_DIR}/docs/${tool}.1)
        if(VENDREL_GZIP)
            add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/${tool}.1.gz
                               COMMAND ${CMAKE_COMMAND} -E copy ${page} ${PROJECT_BINARY_DIR}/${tool}.1
                               COMMAND ${VENDREL_GZIP} -9nf ${PROJECT_BINARY_DIR}/${tool}.1
                               DEPENDS ${page} VERBATIM)
            add_custom_target(${tool}_manual ALL DEPENDS ${PROJECT_BINARY_DIR}/${tool}.1.gz)
            set(page ${PROJECT_BINARY_DIR}/${tool}.1.gz)
        endif()
        install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    endif()
endforeach()

set(CPACK_PACKAGE_NAME vendrel)
set(CPACK_PACKAGE_VENDOR Brannoc)
set(CPACK_PACKAGE_CONTACT "Brannoc <info@brannoc.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Pick a folder, mark its DWG and DXF drawings and choose a script template: Vendrel writes one command "
    "script that repeats the template for every marked drawing and starts the CAD program on it.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.brannoc.example/vendrel)
# The libraries come from dpkg-shlibdeps; what Qt loads at run time (the platform plugins) and the
# fonts (without any, Qt draws every glyph as a box) it cannot see.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "hardinfo")
include(CPack)
