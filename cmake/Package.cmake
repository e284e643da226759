# `cpack -G DEB` (scripts/package.sh): one package, tesseron, of everything `cmake --install`
# puts in place, with the copyright and changelog files Debian asks for. Its dependencies
# are the libraries the programs link, found by dpkg-shlibdeps, and the Qt plugins they load.
set(TESSERON_SHORT_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH})
set(TESSERON_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/tesseron)
configure_file(desktop/debian/copyright ${generated}/copyright @ONLY)
configure_file(desktop/debian/changelog ${generated}/changelog @ONLY)
add_custom_command(OUTPUT ${generated}/changelog.gz
    COMMAND gzip -9nc ${generated}/changelog > ${generated}/changelog.gz
    DEPENDS ${generated}/changelog VERBATIM)
add_custom_target(tesseron_changelog ALL DEPENDS ${generated}/changelog.gz)
install(FILES ${generated}/copyright ${generated}/changelog.gz DESTINATION ${TESSERON_DOCDIR})

set(CPACK_PACKAGE_NAME tesseron)
set(CPACK_PACKAGE_VERSION ${TESSERON_SHORT_VERSION})
set(CPACK_PACKAGE_VENDOR ${TESSERON_COPYRIGHT_HOLDER})
set(CPACK_PACKAGE_CONTACT "${TESSERON_COPYRIGHT_HOLDER} <${TESSERON_BUG_ADDRESS}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "WHOIS and RDAP client for the desktop")
# The summary is the synopsis line; this is the long description under it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Type a domain name, a web address, an IPv4 or IPv6 address, a network or an
AS number: Tesseron finds the servers that answer for it, asks them directly
or through a SOCKS proxy, follows referrals to the registrar's server and
shows the answer. Answers are kept in a history that can be refreshed, saved,
printed and mailed.
.
The package holds the window (tesseron) and the same engine in a terminal
(tesseron-cli).")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${PROJECT_HOMEPAGE_URL})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded as plugins, so dpkg-shlibdeps cannot see them: the SVG icons.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
include(CPack)
