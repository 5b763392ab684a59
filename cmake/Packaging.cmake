# The Debian package (cpack -G DEB; scripts/package.sh builds it). It packs
# exactly what `cmake --install` installs, so the install test covers its
# contents; dpkg-shlibdeps computes the runtime dependencies from the programs.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tlvx)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${TLVX_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tile-map game that is also its own map editor")
set(CPACK_PACKAGE_DESCRIPTION
"One character walks a world map seen through a small view of tiles on a
320 by 200, 256-colour screen; ten keys change the map cell in front of the
character, creatures wander, and every change is on disk at once.
The menu entry opens the player's own world, made from the demo world on
the first start. tlvx-tool makes, checks and draws maps and runs the game
without a window.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
