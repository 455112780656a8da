# What the Windows programs need beside them when built against a Qt of their own (not part of the system):
# Qt's DLLs, the plugins Qt loads, Qt's Swedish texts and, with MinGW, the compiler's runtime DLLs.
#
#   <folder>/vendrel.exe, vendrel-script.exe, Qt6*.dll, libstdc++-6.dll, ...
#   <folder>/plugins/platforms/qwindows.dll, plugins/styles, plugins/iconengines, plugins/imageformats
#   <folder>/translations/qt_sv.qm
#
# Qt takes a folder holding Qt6Core.dll beside the program (and no Qt import library) as its prefix, so it looks
# for plugins/ and translations/ there. They are copied into the build folder, so that vendrel.exe runs from
# there (tools/run --windows), and installed into the program folder. Test programs in the folders below find
# the DLLs and plugins through the test environment (cmake/VendrelTesting.cmake); the build folder also gets
# Qt Test and the offscreen platform for them.
set(VENDREL_QT_DLLS Qt6::Core Qt6::Gui Qt6::Widgets Qt6::Svg)
set(VENDREL_QT_PLUGINS
    platforms Qt6::QWindowsIntegrationPlugin
    styles Qt6::QWindowsVistaStylePlugin
    iconengines Qt6::QSvgIconPlugin
    imageformats Qt6::QSvgPlugin
    imageformats Qt6::QICOPlugin
    imageformats Qt6::QGifPlugin)

set(VENDREL_RUNTIME_DLLS)
if(MINGW)
    # The compiler's runtime, which Qt's DLLs link as the programs do.
    foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                        OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(IS_ABSOLUTE "${path}" AND EXISTS "${path}")
            get_filename_component(path "${path}" REALPATH)
            list(APPEND VENDREL_RUNTIME_DLLS ${path})
        endif()
    endforeach()
endif()

# Qt's Swedish texts for its own dialogs and buttons (src/app/qttexts.cpp loads them): the Qt build brings none,
# Debian's qt6-translations-l10n serves on Windows as well. qt_sv.qm may be a catalogue that only names the
# module files to load (qtbase_sv.qm for what this program uses): those go beside it.
find_file(VENDREL_QT_SWEDISH qt_sv.qm
          PATHS ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_TRANSLATIONS} /usr/share/qt6/translations
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
set(VENDREL_QT_TRANSLATIONS)
if(VENDREL_QT_SWEDISH)
    get_filename_component(folder ${VENDREL_QT_SWEDISH} DIRECTORY)
    file(GLOB modules ${folder}/qtbase_sv.qm)
    list(APPEND VENDREL_QT_TRANSLATIONS ${VENDREL_QT_SWEDISH} ${modules})
else()
    message(STATUS "qt_sv.qm not found (Debian: qt6-translations-l10n): Qt's own texts stay English")
endif()

set(copies)
foreach(target IN LISTS VENDREL_QT_DLLS)
    list(APPEND copies COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${target}> ${PROJECT_BINARY_DIR})
    install(FILES $<TARGET_FILE:${target}> DESTINATION ${CMAKE_INSTALL_BINDIR})
endforeach()
# For the test programs only: Qt Test, and the offscreen platform below.
if(TARGET Qt6::Test)
    list(APPEND copies COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:Qt6::Test> ${PROJECT_BINARY_DIR})
endif()
foreach(dll IN LISTS VENDREL_RUNTIME_DLLS)
    list(APPEND copies COMMAND ${CMAKE_COMMAND} -E copy_if_different ${dll} ${PROJECT_BINARY_DIR})
endforeach()
if(VENDREL_RUNTIME_DLLS)
    install(FILES ${VENDREL_RUNTIME_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
set(plugins ${VENDREL_QT_PLUGINS} platforms Qt6::QOffscreenIntegrationPlugin)
while(plugins)
    list(POP_FRONT plugins kind target)
    if(NOT TARGET ${target})
        message(STATUS "Qt plugin ${target} not found: not beside vendrel.exe")
        continue()
    endif()
    list(APPEND copies COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/plugins/${kind}
                       COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${target}>
                               ${PROJECT_BINARY_DIR}/plugins/${kind})
    if(NOT target STREQUAL "Qt6::QOffscreenIntegrationPlugin") # for the tests only
        install(FILES $<TARGET_FILE:${target}> DESTINATION ${CMAKE_INSTALL_BINDIR}/plugins/${kind})
    endif()
endwhile()
if(VENDREL_QT_TRANSLATIONS)
    list(APPEND copies COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/translations
                       COMMAND ${CMAKE_COMMAND} -E copy_if_different ${VENDREL_QT_TRANSLATIONS}
                               ${PROJECT_BINARY_DIR}/translations)
    install(FILES ${VENDREL_QT_TRANSLATIONS} DESTINATION ${CMAKE_INSTALL_BINDIR}/translations)
endif()
add_custom_target(vendrel_windows_runtime ALL ${copies} COMMENT "Copying Qt and the runtime beside vendrel.exe"
                  VERBATIM)
