# Install rules and the Debian package (make install, make package).

set(TARVIK_DATA_DIR ${CMAKE_INSTALL_DATADIR}/tarvik)
set(TARVIK_GENERATED ${CMAKE_BINARY_DIR}/data)

install(TARGETS tarvik-count RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The default settings; each user's first start copies it to ~/.config/tarvik/.
install(FILES ${TARVIK_SHIPPED_INI} DESTINATION ${TARVIK_DATA_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/data/completion/tarvik-count
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# Debian looks for what may be done with a package's files here.
configure_file(${CMAKE_SOURCE_DIR}/data/doc/copyright.in ${TARVIK_GENERATED}/doc/copyright @ONLY)
install(FILES ${TARVIK_GENERATED}/doc/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tarvik)

# Manual pages, gzipped as Debian keeps them; the version and date come from above.
find_program(TARVIK_GZIP gzip REQUIRED)
set(TARVIK_MAN_PAGES tarvik-count)
if(TARVIK_BUILD_GUI)
    list(APPEND TARVIK_MAN_PAGES tarvik)
endif()
set(TARVIK_MAN_OUTPUTS)
foreach(page IN LISTS TARVIK_MAN_PAGES)
    configure_file(${CMAKE_SOURCE_DIR}/data/man/${page}.1.in ${TARVIK_GENERATED}/man/${page}.1 @ONLY)
    add_custom_command(OUTPUT ${TARVIK_GENERATED}/man/${page}.1.gz
        COMMAND ${TARVIK_GZIP} -9 -n -f -k ${TARVIK_GENERATED}/man/${page}.1
        DEPENDS ${TARVIK_GENERATED}/man/${page}.1 VERBATIM)
    list(APPEND TARVIK_MAN_OUTPUTS ${TARVIK_GENERATED}/man/${page}.1.gz)
endforeach()
add_custom_target(tarvik_man ALL DEPENDS ${TARVIK_MAN_OUTPUTS})
install(FILES ${TARVIK_MAN_OUTPUTS} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

if(TARVIK_BUILD_GUI)
    install(TARGETS tarvik RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    configure_file(${CMAKE_SOURCE_DIR}/data/desktop/tarvik.desktop.in
                   ${TARVIK_GENERATED}/${TARVIK_APP_ID}.desktop @ONLY)
    configure_file(${CMAKE_SOURCE_DIR}/data/desktop/tarvik.metainfo.xml.in
                   ${TARVIK_GENERATED}/${TARVIK_APP_ID}.metainfo.xml @ONLY)
    install(FILES ${TARVIK_GENERATED}/${TARVIK_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${TARVIK_GENERATED}/${TARVIK_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    # The icon under the name the desktop file gives; the 48 px picture is rendered in src/.
    install(FILES ${CMAKE_SOURCE_DIR}/data/icons/tarvik.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ${TARVIK_APP_ID}.svg)
    install(FILES ${TARVIK_ICON_48}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps RENAME ${TARVIK_APP_ID}.png)
endif()

# make package: build/tarvik_<version>_amd64.deb. Library dependencies are found by
# dpkg-shlibdeps; only what the programs start at run time is named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarvik)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tarvik developers")
set(CPACK_PACKAGE_CONTACT "Tarvik developers <tarvik@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "source code step counter (desktop program and command line)")
set(CPACK_PACKAGE_DESCRIPTION "Tarvik measures the size of source code in steps: executable lines,
comment lines and total lines per file, and the total in KStep. Languages are
data of the settings file. The package holds the desktop program tarvik and
the command-line counter tarvik-count.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${TARVIK_HOMEPAGE})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Opening a file in its application asks xdg-mime and xdg-open; the Japanese interface wants a
# Japanese font.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-ipafont-gothic")
include(CPack)
