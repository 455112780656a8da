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

# Fuzzers are built with clang next to whatever compiler builds the rest, so they never touch that build; clang
# without its fuzzer runtime (libclang-rt-*-dev) cannot link one, and then there are none.
find_program(VENDREL_CLANGXX NAMES clang++ clang++-14)
option(VENDREL_FUZZ "Build the fuzzers with clang and smoke-test them" ON)
set(VENDREL_CAN_FUZZ OFF)
if(VENDREL_FUZZ AND VENDREL_CLANGXX AND NOT WIN32 AND NOT CMAKE_CROSSCOMPILING)
    set(probe ${CMAKE_BINARY_DIR}/fuzz_probe.cpp)
    file(WRITE ${probe} "#include <cstddef>\n#include <cstdint>\n"
         "extern \"C\" int LLVMFuzzerTestOneInput(const std::uint8_t*, std::size_t) { return 0; }\n")
    execute_process(COMMAND ${VENDREL_CLANGXX} -fsanitize=fuzzer,address,undefined ${probe} -o ${probe}.out
                    RESULT_VARIABLE probe_result OUTPUT_QUIET ERROR_QUIET)
    if(probe_result EQUAL 0)
        set(VENDREL_CAN_FUZZ ON)
    else()
        message(STATUS "clang cannot build fuzzers here: no fuzzers")
    endif()
endif()

# vendrel_add_fuzzer(name SOURCES ... [DEPENDS headers...] [SEEDS folder])
# A libFuzzer program built with AddressSanitizer and UndefinedBehaviorSanitizer from the plain C++ sources
# given, and a CTest run of 20 s that starts from the seeds.
function(vendrel_add_fuzzer name)
    if(NOT VENDREL_CAN_FUZZ)
        return()
    endif()
    cmake_parse_arguments(F "" "SEEDS" "SOURCES;DEPENDS" ${ARGN})
    set(fuzzer ${CMAKE_CURRENT_BINARY_DIR}/${name})
    add_custom_command(OUTPUT ${fuzzer}
        COMMAND ${VENDREL_CLANGXX} -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined
                -fno-sanitize-recover=undefined -I${PROJECT_SOURCE_DIR}/src ${F_SOURCES} -o ${fuzzer}
        DEPENDS ${F_SOURCES} ${F_DEPENDS}
        COMMENT "Building ${name} with clang"
        VERBATIM)
    add_custom_target(${name}_build ALL DEPENDS ${fuzzer})
    set(corpus ${CMAKE_CURRENT_BINARY_DIR}/${name}_corpus)
    file(MAKE_DIRECTORY ${corpus})
    set(seeds)
    if(F_SEEDS)
        set(seeds ${CMAKE_CURRENT_SOURCE_DIR}/${F_SEEDS})
    endif()
    add_test(NAME ${name}_smoke COMMAND ${fuzzer} -max_total_time=20 -max_len=4096 -timeout=10 ${corpus} ${seeds})
    set_tests_properties(${name}_smoke PROPERTIES TIMEOUT 120)
endfunction()
