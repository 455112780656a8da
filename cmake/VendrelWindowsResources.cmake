# The Windows resources of the programs: one icon file made from the PNGs of resources/icons in the sizes
# Windows uses (16, 24, 32 and 48 pixels as bitmaps, 256 as PNG), and per program a resource file with that icon
# and the version information (maker, product, version of this build, the copyright line of the About box).
#   vendrel_add_windows_resources(target "description")
# The icon needs icotool (Debian: icoutils, which tools/setup --windows installs); without it the programs get
# the version information alone.
find_program(VENDREL_ICOTOOL icotool)
set(VENDREL_ICON ${PROJECT_BINARY_DIR}/vendrel.ico)
if(VENDREL_ICOTOOL)
    set(pngs)
    foreach(size 16 24 32 48)
        list(APPEND pngs ${PROJECT_SOURCE_DIR}/resources/icons/${size}/vendrel.png)
    endforeach()
    set(large ${PROJECT_SOURCE_DIR}/resources/icons/256/vendrel.png)
    add_custom_command(OUTPUT ${VENDREL_ICON}
                       COMMAND ${VENDREL_ICOTOOL} -c -o ${VENDREL_ICON} ${pngs} --raw=${large}
                       DEPENDS ${pngs} ${large}
                       COMMENT "Making vendrel.ico" VERBATIM)
    add_custom_target(vendrel_icon DEPENDS ${VENDREL_ICON})
else()
    message(STATUS "icotool not found (Debian: icoutils): the Windows programs get no icon")
    set(VENDREL_ICON)
endif()

# The About box's copyright line is written down once, in its texts.
file(STRINGS ${PROJECT_SOURCE_DIR}/src/about/texts.h copyrightLine ENCODING UTF-8 REGEX "copyright = QStringLiteral\\(\"")
string(REGEX REPLACE ".*QStringLiteral\\(\"([^\"]*)\"\\).*" "\\1" VENDREL_COPYRIGHT "${copyrightLine}")
if(NOT VENDREL_COPYRIGHT MATCHES "^Copyright")
    message(FATAL_ERROR "no copyright line in src/about/texts.h")
endif()

function(vendrel_add_windows_resources target description)
    set(VENDREL_RC_NAME ${target})
    set(VENDREL_RC_DESCRIPTION "${description}")
    set(VENDREL_RC_ICON)
    if(VENDREL_ICON)
        set(VENDREL_RC_ICON "IDI_ICON1 ICON \"${VENDREL_ICON}\"")
    endif()
    set(rc ${PROJECT_BINARY_DIR}/resources/${target}.rc)
    configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/program.rc.in ${rc} @ONLY)
    target_sources(${target} PRIVATE ${rc})
    if(VENDREL_ICON)
        set_source_files_properties(${rc} TARGET_DIRECTORY ${target} PROPERTIES OBJECT_DEPENDS ${VENDREL_ICON})
        add_dependencies(${target} vendrel_icon)
    endif()
endfunction()
