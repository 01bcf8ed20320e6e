# Tests under Wine: a prefix of their own under the build folder, a Japanese locale (code
# page 932), no Mono or Gecko prompts. The last test stops the prefix's wineserver.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(wine_loader /usr/lib/wine/wine64)
else()
    set(wine_loader /usr/lib/wine/wine)
endif()
set(wine_env
    WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix
    WINELOADER=${wine_loader}
    WINEDLLOVERRIDES=mscoree,mshtml=
    WINEDEBUG=-all
    LANG=ja_JP.UTF-8
    LC_ALL=ja_JP.UTF-8)

add_test(NAME wine_prefix COMMAND bash ${PROJECT_SOURCE_DIR}/tests/wine/prepare_prefix.sh)
# No server left to stop is no failure.
add_test(NAME wine_stop COMMAND sh -c "wineserver -k; exit 0")
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine TIMEOUT 600)
set_tests_properties(wine_stop PROPERTIES FIXTURES_CLEANUP wine)

# wine_test(NAME COMMAND... [PASS regex])
function(wine_test name)
    cmake_parse_arguments(arg "" "PASS" "COMMAND" ${ARGN})
    add_test(NAME ${name} COMMAND ${wine_loader} ${arg_COMMAND}
             WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${wine_env}" FIXTURES_REQUIRED wine TIMEOUT 300)
    if(arg_PASS)
        set_tests_properties(${name} PROPERTIES PASS_REGULAR_EXPRESSION "${arg_PASS}")
    endif()
endfunction()
set_tests_properties(wine_prefix wine_stop PROPERTIES ENVIRONMENT "${wine_env}")

wine_test(wine_plugin COMMAND $<TARGET_FILE_NAME:glyphory_wine_tests>)

# The dialog needs a display: a virtual one of its own.
add_test(NAME wine_command_and_dialog
         COMMAND xvfb-run -a -s "-screen 0 1024x768x24" ${wine_loader} $<TARGET_FILE_NAME:glyphory_wine_command_tests>
         WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
set(command_env ${wine_env})
if(GLYPHORY_PICTOGRAPHS)
    list(APPEND command_env "GLYPHORY_BUNDLE=${CMAKE_BINARY_DIR}/bundle")
endif()
set_tests_properties(wine_command_and_dialog PROPERTIES ENVIRONMENT "${command_env}" FIXTURES_REQUIRED wine TIMEOUT 300)

# Binding: a host from 2.00.06 on, or with a version text of 8 or more characters, must
# offer BKA_SetStatus; an older one need not. Every required name must be there.
foreach(case
        "full;2.00.05;loaded" "full;2.00.06;loaded" "full;2.10.00;loaded" "full;12.00.00;loaded"
        "no_setstatus;2.00.05;loaded" "no_setstatus;1.99;loaded" "no_setstatus;--null-version;loaded"
        "no_setstatus;2.00.06;refused" "no_setstatus;2.10.00;refused" "no_setstatus;2.00.05a;refused"
        "no_mimeheader;2.00.05;refused" "no_mimeheader;2.10.00;refused")
    list(GET case 0 variant)
    list(GET case 1 version)
    list(GET case 2 outcome)
    string(REGEX REPLACE "[^A-Za-z0-9]" "_" id "${version}")
    wine_test(wine_bind_${variant}_${id}
              COMMAND $<TARGET_FILE_NAME:host_probe_${variant}> ${version} Glyphory.dll
              PASS "^${outcome}:")
endforeach()

# The command built for Windows runs there too, and in the bundle it finds its settings file
# and images beside itself.
wine_test(wine_cli_version COMMAND $<TARGET_FILE_NAME:glyphory> --version PASS "^glyphory ${PROJECT_VERSION}")
if(GLYPHORY_PICTOGRAPHS)
    wine_test(wine_cli_in_bundle COMMAND bundle/glyphory.exe convert ${PROJECT_SOURCE_DIR}/samples/docomo.eml -o cli-docomo.eml
              PASS "converted \\(docomo, 3 pictographs replaced\\)")
endif()
