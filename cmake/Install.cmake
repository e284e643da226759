# `cmake --install`: the programs in bin/, their data in share/tesseron/ (where an installed
# copy looks, see desktop/ProgramPaths.h), and what the desktop needs to list and start
# them: the desktop entry, the metainfo file, the icon, manual pages and bash completion.
include(GNUInstallDirs)

set(TESSERON_APP_ID io.github.tesseron.Tesseron)
set(TESSERON_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/tesseron)
set(generated ${PROJECT_BINARY_DIR}/install)

install(TARGETS tesseron-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TESSERON_BUILD_GUI)
    install(TARGETS tesseron RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

install(FILES data/whois.xml data/tesseron.htm data/history.txt
        DESTINATION ${TESSERON_INSTALL_DATADIR})
install(DIRECTORY data/languages data/icons DESTINATION ${TESSERON_INSTALL_DATADIR})
install(DIRECTORY data/rdap DESTINATION ${TESSERON_INSTALL_DATADIR} FILES_MATCHING PATTERN "*.json")

install(FILES desktop/${TESSERON_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(desktop/${TESSERON_APP_ID}.metainfo.xml ${generated}/${TESSERON_APP_ID}.metainfo.xml
               @ONLY)
install(FILES ${generated}/${TESSERON_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES data/icons/tesseron.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES desktop/tesseron-48.png RENAME tesseron.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps)
install(FILES desktop/tesseron-cli.bash-completion RENAME tesseron-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

# The manual pages name the data folder of this prefix and the project's own lines; they are
# compressed without a time stamp, so two builds make the same package.
function(tesseron_manual_page name)
    set(VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH})
    set(DATADIR ${CMAKE_INSTALL_FULL_DATADIR}/tesseron)
    set(BUGS ${TESSERON_BUG_ADDRESS})
    set(HOMEPAGE ${PROJECT_HOMEPAGE_URL})
    set(COPYRIGHT "Copyright \\(co ${TESSERON_COPYRIGHT_YEARS} ${TESSERON_COPYRIGHT_HOLDER}.")
    set(LICENSE_LINE ${TESSERON_LICENSE_LINE})
    configure_file(docs/man/${name}.1 ${generated}/${name}.1 @ONLY)
    add_custom_command(OUTPUT ${generated}/${name}.1.gz
        COMMAND gzip -9nc ${generated}/${name}.1 > ${generated}/${name}.1.gz
        DEPENDS ${generated}/${name}.1 VERBATIM)
    install(FILES ${generated}/${name}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
tesseron_manual_page(tesseron)
tesseron_manual_page(tesseron-cli)
add_custom_target(tesseron_manual_pages ALL
    DEPENDS ${generated}/tesseron.1.gz ${generated}/tesseron-cli.1.gz)
