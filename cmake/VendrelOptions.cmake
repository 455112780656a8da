# One target that every Vendrel target links: language level, warnings and the Qt defines.
add_library(vendrel_options INTERFACE)
target_compile_features(vendrel_options INTERFACE cxx_std_20)
if(MSVC)
    # A Windows build with Visual C++: its own spelling of the same strictness, sources in UTF-8.
    target_compile_options(vendrel_options INTERFACE /W4 /permissive- /Zc:__cplusplus /utf-8)
    target_compile_definitions(vendrel_options INTERFACE _CRT_SECURE_NO_WARNINGS)
    if(VENDREL_WERROR)
        target_compile_options(vendrel_options INTERFACE /WX)
    endif()
else()
    target_compile_options(vendrel_options INTERFACE
        -Wall -Wextra -Wpedantic -Wold-style-cast -Wnon-virtual-dtor)
    if(VENDREL_WERROR)
        target_compile_options(vendrel_options INTERFACE -Werror)
    endif()
endif()
target_compile_definitions(vendrel_options INTERFACE
    QT_NO_CAST_FROM_ASCII QT_NO_CONTEXTLESS_CONNECT QT_USE_QSTRINGBUILDER
    VENDREL_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
    VENDREL_VERSION_MINOR=${PROJECT_VERSION_MINOR}
    VENDREL_VERSION_PATCH=${PROJECT_VERSION_PATCH})
if(VENDREL_SANITIZE)
    target_compile_options(vendrel_options INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(vendrel_options INTERFACE -fsanitize=address,undefined)
endif()
if(WIN32)
    target_compile_definitions(vendrel_options INTERFACE WIN32_LEAN_AND_MEAN NOMINMAX)
endif()
