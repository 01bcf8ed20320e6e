# Cross build: Glyphory.dll and the Wine test hosts.
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")
enable_language(RC)

# The .def names each export's stdcall symbol with its argument size; 64-bit code has no
# such decoration, so that build gets the same list without it.
set(plugin_def ${PROJECT_SOURCE_DIR}/resources/Glyphory.def)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    file(READ ${plugin_def} def_text)
    string(REGEX REPLACE "@[0-9]+" "" def_text "${def_text}")
    set(plugin_def ${CMAKE_BINARY_DIR}/Glyphory.def)
    file(WRITE ${plugin_def} "${def_text}")
endif()

add_library(Glyphory SHARED
    shell/exports.cpp
    shell/host_api_win.cpp
    shell/plugin_app.cpp
    shell/settings_dialog.cpp
    shell/framework/dialog.cpp
    shell/framework/static_control.cpp
    shell/framework/win_app.cpp
    resources/Glyphory.rc
    ${plugin_def})
set_target_properties(Glyphory PROPERTIES PREFIX "" OUTPUT_NAME Glyphory)
target_link_libraries(Glyphory PRIVATE glyphory_core shell32 gdi32)
target_link_options(Glyphory PRIVATE -Wl,--enable-stdcall-fixup -s)

# The test hosts export the client's BKA_* names from their executable, as the client does.
# The names come from the host table's own list; a variant may leave some out.
file(READ ${PROJECT_SOURCE_DIR}/shell/host_api.h host_api_text)
string(REGEX MATCHALL "(REQ|OPT)\\([A-Za-z0-9_]+," host_entries "${host_api_text}")
set(host_names)
foreach(entry IN LISTS host_entries)
    string(REGEX REPLACE "^(REQ|OPT)\\(([A-Za-z0-9_]+),$" "BKA_\\2" name "${entry}")
    list(APPEND host_names ${name})
endforeach()
list(LENGTH host_names host_name_count)
if(NOT host_name_count EQUAL 56)
    message(FATAL_ERROR "host table lists ${host_name_count} functions, not 56")
endif()

function(glyphory_host_def out_var variant)
    set(names ${host_names})
    list(REMOVE_ITEM names ${ARGN})
    list(JOIN names "\n    " lines)
    set(def ${CMAKE_BINARY_DIR}/host_${variant}.def)
    file(WRITE ${def} "EXPORTS\n    ${lines}\n")
    set(${out_var} ${def} PARENT_SCOPE)
endfunction()

function(glyphory_host_exe target variant)
    glyphory_host_def(def ${variant} ${ARGN})
    # Whole: the .def names the service functions only undecorated, which pulls in nothing.
    target_link_libraries(${target} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,glyphory_host>")
    target_link_options(${target} PRIVATE ${def} -Wl,--enable-stdcall-fixup)
endfunction()

# The probe loads the plug-in under a host version given on its command line.
foreach(variant full no_setstatus no_mimeheader)
    add_executable(host_probe_${variant} host/test_host/probe.cpp)
endforeach()
glyphory_host_exe(host_probe_full full)
glyphory_host_exe(host_probe_no_setstatus no_setstatus BKA_SetStatus)
glyphory_host_exe(host_probe_no_mimeheader no_mimeheader BKA_MIMEHeader)
add_executable(host_convert host/test_host/convert.cpp)
glyphory_host_exe(host_convert convert)

add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
add_executable(glyphory_wine_tests
    tests/wine/plugin_test.cpp
    tests/wine/ini_file_test.cpp
    tests/wine/dir_scan_test.cpp
    tests/wine/loaded_plugin.cpp
    tests/wine/wine_main.cpp)
glyphory_host_exe(glyphory_wine_tests wine_tests)
target_link_libraries(glyphory_wine_tests PRIVATE glyphory_core gtest version)
add_dependencies(glyphory_wine_tests Glyphory)

# The way of a message through a copy of the module loaded from drive C:, and the dialog.
add_executable(glyphory_wine_command_tests
    tests/wine/command_test.cpp
    tests/wine/dialog_test.cpp
    tests/wine/bundle_test.cpp
    tests/wine/loaded_plugin.cpp
    tests/wine/command_main.cpp)
glyphory_host_exe(glyphory_wine_command_tests command_tests)
target_link_libraries(glyphory_wine_command_tests PRIVATE gtest gdi32)
add_dependencies(glyphory_wine_command_tests Glyphory)

if(GLYPHORY_PICTOGRAPHS)
    include(cmake/bundle.cmake)
endif()

add_test(NAME dll_exports_and_imports
         COMMAND ${CMAKE_COMMAND} -DDLL=$<TARGET_FILE:Glyphory> -DOBJDUMP=${CMAKE_OBJDUMP}
                 -P ${PROJECT_SOURCE_DIR}/cmake/check_dll.cmake)

# Off where this architecture's code cannot run (a 32-bit build on a machine without 32-bit
# execution): the module is then only built and checked above.
option(GLYPHORY_WINE_TESTS "run the tests under Wine" ON)
if(GLYPHORY_WINE_TESTS)
    include(cmake/wine_tests.cmake)
endif()
