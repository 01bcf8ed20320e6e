# Native build: unit tests of the core and the host stand-in.
find_package(GTest REQUIRED)
include(GoogleTest)

add_executable(glyphory_unit_tests
    cli/mail_date.cpp
    cli/mbox.cpp
    tests/unit/archive_test.cpp
    tests/unit/bytes_test.cpp
    tests/unit/embedded_images_test.cpp
    tests/unit/faithful_test.cpp
    tests/unit/sender_html_test.cpp
    tests/unit/text_lines_test.cpp
    tests/unit/iso2022jp_test.cpp
    tests/unit/mail_host_test.cpp
    tests/unit/ini_path_test.cpp
    tests/unit/ini_file_test.cpp
    tests/unit/plugin_settings_test.cpp
    tests/unit/pictograph_map_test.cpp
    tests/unit/text_to_html_test.cpp
    tests/unit/mime_reader_test.cpp
    tests/unit/message_rewriter_test.cpp
    tests/unit/pictograph_set_test.cpp
    tests/unit/transfer_encoding_test.cpp
    tests/unit/entity_kind_test.cpp
    tests/unit/real_mail_test.cpp
    tests/unit/unicode_pictographs_test.cpp)
target_link_libraries(glyphory_unit_tests PRIVATE glyphory_core glyphory_host GTest::gtest_main)
target_compile_definitions(glyphory_unit_tests PRIVATE GLYPHORY_CARRIER_DATA="${GLYPHORY_CARRIER_DATA}")

set(unit_env)
if(GLYPHORY_PICTOGRAPHS)
    set(unit_env "GLYPHORY_PICTOGRAPHS=${GLYPHORY_PICTOGRAPHS}")
    add_test(NAME pictographs_decode COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/tools/check_pictographs.py
                                            ${GLYPHORY_PICTOGRAPHS})
endif()
gtest_discover_tests(glyphory_unit_tests DISCOVERY_TIMEOUT 60 PROPERTIES ENVIRONMENT "${unit_env}")

# Benchmarks (Google Benchmark); not run by the tests.
find_package(benchmark REQUIRED)
add_executable(glyphory_bench bench/render_bench.cpp)
target_link_libraries(glyphory_bench PRIVATE glyphory_core glyphory_host benchmark::benchmark)
add_executable(glyphory_bench_shapes bench/shapes_bench.cpp)
target_link_libraries(glyphory_bench_shapes PRIVATE glyphory_core glyphory_host benchmark::benchmark)
add_executable(glyphory_bench_rewrite bench/rewrite_bench.cpp)
target_link_libraries(glyphory_bench_rewrite PRIVATE glyphory_core glyphory_host benchmark::benchmark)
# The command needs the settings and images it installs.
if(GLYPHORY_PICTOGRAPHS)
    add_executable(glyphory_bench_command bench/command_bench.cpp cli/archive.cpp cli/maildir.cpp cli/mbox.cpp cli/conversion.cpp
                                       platform/mail_files_posix.cpp)
    target_link_libraries(glyphory_bench_command PRIVATE glyphory_host glyphory_core benchmark::benchmark)
    target_compile_definitions(glyphory_bench_command PRIVATE GLYPHORY_SHARE="${CMAKE_BINARY_DIR}/share/glyphory")
    add_dependencies(glyphory_bench_command staged_images)
endif()

# The glyphory command end to end: its own behaviour, real carrier mail (skipped, saying so,
# when shared/ is absent) and its previews in a real browser.
if(GLYPHORY_PICTOGRAPHS)
    add_test(NAME cli COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/tests/cli/cli_test.py
                              $<TARGET_FILE:glyphory> ${GLYPHORY_PICTOGRAPHS})
    add_test(NAME cli_real_carrier_mail COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/tests/cli/fixtures_test.py
             $<TARGET_FILE:glyphory> ${GLYPHORY_PICTOGRAPHS} ${PROJECT_SOURCE_DIR}/../shared/fixtures)
    set_tests_properties(cli_real_carrier_mail PROPERTIES SKIP_RETURN_CODE 77)
    add_test(NAME cli_archives COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/tests/cli/archive_test.py
             $<TARGET_FILE:glyphory> ${GLYPHORY_PICTOGRAPHS} ${PROJECT_SOURCE_DIR}/../shared/fixtures)
    set_tests_properties(cli_archives PROPERTIES SKIP_RETURN_CODE 77)
    add_test(NAME cli_mail_stores COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/tests/cli/store_test.py
             $<TARGET_FILE:glyphory> ${GLYPHORY_PICTOGRAPHS})
    set_tests_properties(cli_mail_stores PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 600)
    add_test(NAME archive_export_in_chromium COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/tests/cli/export_test.py
             $<TARGET_FILE:glyphory> ${GLYPHORY_PICTOGRAPHS} ${PROJECT_SOURCE_DIR}/../shared/fixtures)
    set_tests_properties(archive_export_in_chromium PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
    add_test(NAME pages_of_strangers_mail COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/tests/cli/hostile_test.py
             $<TARGET_FILE:glyphory> ${GLYPHORY_PICTOGRAPHS})
    set_tests_properties(pages_of_strangers_mail PROPERTIES TIMEOUT 300)
    add_test(NAME mail_client_thunderbird COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/tests/cli/thunderbird_test.py
             $<TARGET_FILE:glyphory> ${GLYPHORY_PICTOGRAPHS} ${PROJECT_SOURCE_DIR}/samples ${PROJECT_SOURCE_DIR}/../shared/fixtures)
    set_tests_properties(mail_client_thunderbird PROPERTIES TIMEOUT 900 RUN_SERIAL TRUE)
    add_test(NAME preview_in_chromium COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/tests/cli/browser_test.py
             $<TARGET_FILE:glyphory> ${GLYPHORY_PICTOGRAPHS} ${PROJECT_SOURCE_DIR}/samples)
    set_tests_properties(preview_in_chromium PROPERTIES TIMEOUT 300)
endif()
