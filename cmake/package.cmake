# The Debian package of the command: `cpack -G DEB` in the build tree (scripts/package.sh) makes
# glyphory_<version>_<arch>.deb of what the install rules put under /usr, with the manual page,
# the copyright file and the changelog that Debian's policy asks every package for.

# Compressed with gzip -9n, as Debian's tools do: no file name or time in it, so the same
# sources make the same package.
set(package_docs)
foreach(doc docs/glyphory.1 packaging/changelog)
    get_filename_component(name ${doc} NAME)
    set(gzipped ${CMAKE_BINARY_DIR}/package-docs/${name}.gz)
    add_custom_command(
        OUTPUT ${gzipped}
        COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/${doc} ${CMAKE_BINARY_DIR}/package-docs/${name}
        COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/package-docs/${name}
        DEPENDS ${PROJECT_SOURCE_DIR}/${doc}
        VERBATIM)
    list(APPEND package_docs ${gzipped})
endforeach()
add_custom_target(package_docs ALL DEPENDS ${package_docs})
list(GET package_docs 0 man_page)
list(GET package_docs 1 changelog)
install(FILES ${man_page} DESTINATION share/man/man1)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${changelog} DESTINATION share/doc/glyphory)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME glyphory)
set(CPACK_PACKAGE_CONTACT "Glyphory Project <g@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Folders the install makes on its way (usr/, usr/share/, ...) get the usual mode whatever the umask.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the program links (libgumbo, the C++ run-time) as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "converts Japanese phone mail so that its pictographs show
Phones of Docomo, AU and Softbank send their pictographs as codes that mail
clients show as garbage. glyphory tells the carrier from the sender and adds
to each message an HTML part in which every pictograph is an image of that
carrier, carried in the message, so that any mail client shows it.

It converts message files, mbox files (locked as Debian's mail programs lock
them), Maildirs and folders, and writes browsable HTML exports of them.")
include(CPack)
