# Plain C++ adapters (no Qt): drives and folders. They build on every platform, also without Qt.
add_library(vendrel_platform_core STATIC
    drives.h drives.cpp
    folders.h folders.cpp
    mountinfo.h mountinfo.cpp)
if(WIN32)
    target_sources(vendrel_platform_core PRIVATE drives_win.cpp folders_win.cpp)
    target_link_libraries(vendrel_platform_core PRIVATE mpr)
else()
    target_sources(vendrel_platform_core PRIVATE drives_posix.cpp folders_posix.cpp)
endif()
set_target_properties(vendrel_platform_core PROPERTIES AUTOMOC OFF AUTORCC OFF)
target_include_directories(vendrel_platform_core PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(vendrel_platform_core PUBLIC vendrel_options)
