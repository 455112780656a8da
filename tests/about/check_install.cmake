# cmake -DBUILD_DIR=... -DPREFIX=... -DWITH_SCRIPT=0|1 -P check_install.cmake
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed (${result}):\n${output}")
endif()

if(WINDOWS)
    # Everything of the program folder lies beside the program, with the Qt and runtime DLLs it needs, Qt's
    # plugins and Swedish texts (cmake/VendrelWindowsRuntime.cmake).
    set(folder bin)
    set(expected
        bin/vendrel.exe
        bin/examples/Init.reg
        bin/Qt6Core.dll bin/Qt6Gui.dll bin/Qt6Widgets.dll bin/Qt6Svg.dll
        bin/plugins/platforms/qwindows.dll
        bin/plugins/iconengines/qsvgicon.dll
        bin/plugins/imageformats/qsvg.dll)
    if(WITH_SCRIPT)
        list(APPEND expected bin/vendrel-script.exe bin/vendrel-run.exe)
    endif()
    # The compiler's runtime (MinGW), more plugins and the translations, where there are any; never what only
    # the tests use.
    file(GLOB optional RELATIVE ${PREFIX} ${PREFIX}/bin/lib*.dll ${PREFIX}/bin/plugins/*/*.dll
         ${PREFIX}/bin/translations/qt_*.qm)
    list(REMOVE_ITEM optional bin/plugins/platforms/qoffscreen.dll)
else()
    set(folder share/vendrel)
    set(expected
        bin/vendrel
        share/applications/vendrel.desktop
        share/icons/hicolor/scalable/apps/vendrel.svg
        share/vendrel/examples/Init.reg)
    foreach(size 16 22 24 32 48 64 128 256)
        list(APPEND expected share/icons/hicolor/${size}x${size}/apps/vendrel.png)
    endforeach()
    if(WITH_SCRIPT)
        foreach(tool vendrel-script vendrel-run)
            list(APPEND expected bin/${tool})
            # The manual page, compressed where gzip was found.
            file(GLOB manual RELATIVE ${PREFIX} ${PREFIX}/share/man/man1/${tool}.1*)
            list(LENGTH manual pages)
            if(NOT pages EQUAL 1)
                list(APPEND expected share/man/man1/${tool}.1.gz)
            endif()
            list(APPEND expected ${manual})
        endforeach()
    endif()
    set(optional)
endif()

set(problems)
foreach(file IN LISTS expected)
    if(NOT EXISTS ${PREFIX}/${file})
        list(APPEND problems "missing: ${file}")
    endif()
endforeach()
list(APPEND expected ${optional})

# The program folder holds the sample templates, each with CR LF line ends as the CAD programs read them.
file(GLOB templates RELATIVE ${PREFIX} ${PREFIX}/${folder}/*.scr)
if(NOT templates)
    list(APPEND problems "no sample templates in ${folder}")
endif()
foreach(template IN LISTS templates)
    file(READ ${PREFIX}/${template} bytes HEX)
    string(REGEX MATCHALL "0a" linefeeds "${bytes}")
    string(REGEX MATCHALL "0d0a" lineEnds "${bytes}")
    list(LENGTH linefeeds lf)
    list(LENGTH lineEnds crlf)
    if(lf EQUAL 0 OR NOT lf EQUAL crlf)
        list(APPEND problems "${template}: not CR LF line ends")
    endif()
endforeach()
list(APPEND expected ${templates})

# Nothing else: no test programs, headers or libraries of the build tools.
file(GLOB_RECURSE installed RELATIVE ${PREFIX} ${PREFIX}/*)
foreach(file IN LISTS installed)
    if(NOT file IN_LIST expected)
        list(APPEND problems "not expected: ${file}")
    endif()
endforeach()

# The menu entry starts the installed program and shows the installed icon.
if(EXISTS ${PREFIX}/share/applications/vendrel.desktop)
    file(STRINGS ${PREFIX}/share/applications/vendrel.desktop entry)
    foreach(line "Exec=vendrel" "Icon=vendrel" "Type=Application")
        if(NOT line IN_LIST entry)
            list(APPEND problems "vendrel.desktop lacks ${line}")
        endif()
    endforeach()
    find_program(VALIDATE desktop-file-validate)
    if(VALIDATE)
        execute_process(COMMAND ${VALIDATE} ${PREFIX}/share/applications/vendrel.desktop
                        RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
        if(NOT result EQUAL 0)
            list(APPEND problems "desktop-file-validate: ${output}")
        endif()
    endif()
endif()

if(problems)
    list(JOIN problems "\n  " text)
    message(FATAL_ERROR "Installed layout under ${PREFIX}:\n  ${text}")
endif()
message(STATUS "Installed layout under ${PREFIX} is complete")
