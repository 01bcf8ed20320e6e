# The tables of the carriers' pictographs in Unicode, generated from the carrier data beside
# the project, Unicode's EmojiSources.txt and emoji-data.txt (which emoji are shown as text
# unless U+FE0F follows); sets unicode_tables_cpp to the generated source.
set(GLYPHORY_CARRIER_DATA "${CMAKE_CURRENT_LIST_DIR}/../../shared/data" CACHE PATH
    "the folder of carrier-codes.md and emoji4unicode/google-pua.tsv")
set(GLYPHORY_EMOJI_SOURCES "/usr/share/unicode/EmojiSources.txt" CACHE FILEPATH "Unicode's EmojiSources.txt")
set(GLYPHORY_EMOJI_DATA "/usr/share/unicode/emoji/emoji-data.txt" CACHE FILEPATH "Unicode's emoji-data.txt")
set(unicode_tables_inputs "${GLYPHORY_CARRIER_DATA}/carrier-codes.md" "${GLYPHORY_CARRIER_DATA}/emoji4unicode/google-pua.tsv"
    "${GLYPHORY_EMOJI_SOURCES}" "${GLYPHORY_EMOJI_DATA}")
foreach(input ${unicode_tables_inputs})
    if(NOT EXISTS "${input}")
        message(FATAL_ERROR "${input} is missing: the carrier data (GLYPHORY_CARRIER_DATA) and Unicode's "
                            "EmojiSources.txt and emoji-data.txt (package unicode-data, GLYPHORY_EMOJI_SOURCES, "
                            "GLYPHORY_EMOJI_DATA) are needed to build")
    endif()
endforeach()
set(unicode_tables_cpp "${CMAKE_BINARY_DIR}/generated/unicode_tables.cpp")
set(unicode_tables_generator "${CMAKE_CURRENT_LIST_DIR}/../tools/make_unicode_tables.py")
add_custom_command(
    OUTPUT "${unicode_tables_cpp}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_BINARY_DIR}/generated"
    COMMAND /usr/bin/python3 "${unicode_tables_generator}" ${unicode_tables_inputs} "${unicode_tables_cpp}"
    DEPENDS "${unicode_tables_generator}" ${unicode_tables_inputs}
    VERBATIM)
