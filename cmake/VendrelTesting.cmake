find_package(GTest QUIET)
if(NOT GTest_FOUND AND EXISTS /usr/src/googletest/CMakeLists.txt)
    # The googletest package ships the sources; cross builds compile them here.
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    if(NOT TARGET GTest::gtest) # newer googletest sources define the aliases themselves
        add_library(GTest::gtest ALIAS gtest)
        add_library(GTest::gtest_main ALIAS gtest_main)
    endif()
endif()

set(VENDREL_TEST_ENVIRONMENT
    QT_QPA_PLATFORM=offscreen
    XDG_RUNTIME_DIR=${CMAKE_BINARY_DIR}/runtime
    LC_ALL=C.UTF-8
    ASAN_OPTIONS=detect_leaks=1
    LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/runtime)
if(CMAKE_CROSSCOMPILING_EMULATOR)
    # Windows programs run under Wine in a Wine folder of the build's own, never the user's.
    set(VENDREL_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
    list(APPEND VENDREL_TEST_ENVIRONMENT WINEPREFIX=${VENDREL_WINEPREFIX} WINEDEBUG=-all)
    if(VENDREL_WITH_QT)
        # Wine passes no variable beginning with QT_ to a Windows program, but passes WINEQT_... on as QT_...
        # The DLLs lie in the build folder beside vendrel.exe (cmake/VendrelWindowsRuntime.cmake); the test
        # programs in the folders below find them through Wine's addition to PATH. Without a console window Qt
        # Test writes its results to the debugger, not to the output CTest shows, unless told otherwise.
        list(APPEND VENDREL_TEST_ENVIRONMENT WINEQT_QPA_PLATFORM=offscreen "WINEPATH=Z:${CMAKE_BINARY_DIR}"
             "WINEQT_PLUGIN_PATH=Z:${CMAKE_BINARY_DIR}/plugins" WINEQT_FORCE_STDERR_LOGGING=1)
        # The offscreen platform on Windows reads its fonts from one folder, none of the system's, and takes
        # the first face there for "Sans Serif": a folder of DejaVu Sans alone gives the tests the face the
        # Linux tests get through fontconfig.
        find_file(VENDREL_TEST_FONT DejaVuSans.ttf PATHS /usr/share/fonts/truetype/dejavu
                  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
        if(VENDREL_TEST_FONT)
            get_filename_component(fonts ${VENDREL_TEST_FONT} DIRECTORY)
            file(COPY ${fonts}/DejaVuSans.ttf ${fonts}/DejaVuSans-Bold.ttf DESTINATION ${CMAKE_BINARY_DIR}/testfonts)
            list(APPEND VENDREL_TEST_ENVIRONMENT "WINEQT_QPA_FONTDIR=Z:${CMAKE_BINARY_DIR}/testfonts")
        endif()
    endif()
endif()

# vendrel_add_test(name SOURCES ... LIBS ... [TIMEOUT s])
# One program is one CTest test; GoogleTest programs get gtest_main unless they bring a main.
function(vendrel_add_test name)
    cmake_parse_arguments(T "QT;OWN_MAIN" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE vendrel_options ${T_LIBS})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    if(T_QT)
        target_link_libraries(${name} PRIVATE Qt6::Test)
    elseif(T_OWN_MAIN)
        target_link_libraries(${name} PRIVATE GTest::gtest)
    else()
        target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main)
    endif()
    add_test(NAME ${name} COMMAND ${name})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${VENDREL_TEST_ENVIRONMENT}" TIMEOUT ${T_TIMEOUT})
endfunction()
