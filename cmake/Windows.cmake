# The Windows program and its tests under Wine.

# The program stays a few dozen KiB: no exceptions, no RTTI, no unwind
# tables, and only the code that is reached.
set(VESMOR_PROGRAM_FLAGS -Os -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
    -fno-threadsafe-statics -ffunction-sections -fdata-sections)
target_compile_options(vesmor_core PRIVATE ${VESMOR_PROGRAM_FLAGS})

# Loading WinINet costs start-up time (a fifth of a bare window's, under
# Wine) and only a calibration needs it: it is imported through a delay-load
# library and comes in with the first fetch.
set(WININET_DELAY_LIB ${CMAKE_BINARY_DIR}/libwininet_delay.a)
add_custom_command(OUTPUT ${WININET_DELAY_LIB}
    COMMAND ${MINGW_PREFIX}-dlltool --input-def ${CMAKE_SOURCE_DIR}/cmake/wininet-delay.def
            --output-delaylib ${WININET_DELAY_LIB}
    DEPENDS ${CMAKE_SOURCE_DIR}/cmake/wininet-delay.def)
add_custom_target(wininet_delay DEPENDS ${WININET_DELAY_LIB})
add_library(wininet_delayed STATIC IMPORTED)
set_target_properties(wininet_delayed PROPERTIES IMPORTED_LOCATION ${WININET_DELAY_LIB})
add_dependencies(wininet_delayed wininet_delay)

# The Win32 side: the platform wrappers, the tray, and the window.
add_library(vesmor_win STATIC
    platform/win32/WinInetClient.cpp
    platform/win32/Win32Clock.cpp
    platform/win32/Win32Cursor.cpp
    platform/win32/Win32Registry.cpp
    platform/win32/WideText.cpp
    platform/win32/IconFile.cpp
    tray/TrayIcon.cpp
    app/Label.cpp
    app/WindowDefinition.cpp
    app/EventTable.cpp
    app/MainWindow.cpp
)
target_compile_options(vesmor_win PRIVATE ${VESMOR_PROGRAM_FLAGS})
target_compile_definitions(vesmor_win PUBLIC WINVER=0x0601 _WIN32_WINNT=0x0601)
target_link_libraries(vesmor_win PUBLIC vesmor_core wininet_delayed delayimp comctl32 shell32 advapi32 gdi32 user32)

add_executable(Vesmor WIN32 app/Main.cpp app/Vesmor.rc)
target_compile_options(Vesmor PRIVATE ${VESMOR_PROGRAM_FLAGS})
target_link_libraries(Vesmor PRIVATE vesmor_win)
target_link_options(Vesmor PRIVATE -static -s -Wl,--gc-sections)
set_source_files_properties(app/Vesmor.rc PROPERTIES
    OBJECT_DEPENDS "${CMAKE_SOURCE_DIR}/app/Vesmor.ico;${CMAKE_SOURCE_DIR}/app/Vesmor.manifest")

# GoogleTest from Debian's sources, built with the same cross compiler.
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_subdirectory(tests/win)
add_subdirectory(tests/bench)
