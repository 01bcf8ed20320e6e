# The ready-to-install bundle: bundle/ (unpacked) and Glyphory-<version>.zip, with the module,
# the generated images and the settings file, texts in code page 932 as the plug-in reads them,
# and glyphory.exe, which finds the settings file and the images beside itself.
set(bundle_dir ${CMAKE_BINARY_DIR}/bundle)
set(bundle_zip ${CMAKE_BINARY_DIR}/Glyphory-${PROJECT_VERSION}.zip)
add_custom_command(
    OUTPUT ${bundle_zip}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${bundle_dir} ${bundle_zip}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${bundle_dir}/Glyphory
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Glyphory> ${bundle_dir}/Glyphory.dll
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:glyphory> ${bundle_dir}/glyphory.exe
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${GLYPHORY_PICTOGRAPHS}/au ${bundle_dir}/Glyphory/au
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${GLYPHORY_PICTOGRAPHS}/softbank ${bundle_dir}/Glyphory/softbank
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${GLYPHORY_PICTOGRAPHS}/docomo ${bundle_dir}/Glyphory/docomo
    COMMAND sh -c "iconv -f UTF-8 -t CP932 '${PROJECT_SOURCE_DIR}/resources/bundle/Glyphory.ini' | sed 's/$/\\r/' > '${bundle_dir}/Glyphory.ini'"
    COMMAND sh -c "iconv -f UTF-8 -t CP932 '${PROJECT_SOURCE_DIR}/resources/bundle/README.txt' | sed 's/$/\\r/' > '${bundle_dir}/README.txt'"
    COMMAND sh -c "cd '${bundle_dir}' && zip -q -X -r '${bundle_zip}' ."
    DEPENDS Glyphory glyphory ${GLYPHORY_PICTOGRAPHS}/counts.txt ${PROJECT_SOURCE_DIR}/resources/bundle/Glyphory.ini
            ${PROJECT_SOURCE_DIR}/resources/bundle/README.txt
    VERBATIM)
add_custom_target(bundle ALL DEPENDS ${bundle_zip})
