# The Debian packages, made by CPack (scripts/package builds them in Release), one a
# component. taurelin (component server): the three programs, the server headless only (their
# install rules stand beside them), the schemas and demo data, the systemd units, and the
# configuration and alias file for /etc/taurelin with the maintainer scripts of deploy/; it
# pulls in no GUI library. taurelin-window (component window, built with TAURELIN_WINDOW): the
# program with the operator window, as taurelin-api-window beside the server's taurelin-api,
# so neither package replaces a file of the other and the service never loads the desktop.
# `cpack -G DEB` in the build directory writes taurelin_VERSION_ARCH.deb and
# taurelin-window_VERSION_ARCH.deb.

# The SQL files, for an operator who sets up PostgreSQL with psql: the programs carry them
# compiled in.
install(FILES db/sqlite/schema.sql db/sqlite/upgrade.sql db/sqlite/demo.sql
        DESTINATION ${CMAKE_INSTALL_DATADIR}/taurelin/sqlite)
install(FILES db/postgresql/schema.sql db/postgresql/upgrade.sql
        DESTINATION ${CMAKE_INSTALL_DATADIR}/taurelin/postgresql)

# The mail templates the server uses unless MailTemplates names a business's own copy.
install(DIRECTORY deploy/mail-templates/ DESTINATION ${CMAKE_INSTALL_DATADIR}/taurelin/mail-templates
        FILES_MATCHING PATTERN "*.subject" PATTERN "*.txt" PATTERN "*.html" PATTERN "README.md")

# Absolute: a package's systemd units and configuration do not move with the prefix.
install(FILES deploy/taurelin-api.service deploy/taurelin-backup@.service
              deploy/taurelin-backup@.timer
        DESTINATION /lib/systemd/system)
install(FILES deploy/etc/taurelin.conf DESTINATION /etc/taurelin)
# The alias file may hold a password; postinst gives it to the group taurelin.
install(FILES deploy/etc/aliases.ini DESTINATION /etc/taurelin
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ)

set(TAURELIN_PACKAGE_MAINTAINER
    "Taurelin maintainers <maintainers@users.noreply.c-seed-0a7b2e47.example>"
    CACHE STRING "The Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME taurelin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Vindrelok AS")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL server)
if(TAURELIN_WINDOW)
  list(APPEND CPACK_COMPONENTS_ALL window)
endif()

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TAURELIN_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs link (Qt, libc, libstdc++, SQLite, ...) come from dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Maintainer scripts 0755, conffiles 0644, whatever the checkout's modes.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# The server's package keeps the name of the one package there was before the window had its
# own, so that installing it upgrades that one.
set(CPACK_DEBIAN_SERVER_PACKAGE_NAME taurelin)
# CPack puts CPACK_PACKAGE_DESCRIPTION_SUMMARY before each package's description.
string(CONCAT CPACK_DEBIAN_SERVER_DESCRIPTION
  "A TCP server that answers a web shop's booking requests (prices, free units,\n"
  "holds, bookings) from an accommodation business's booking database, SQLite or\n"
  "PostgreSQL. The package runs it headless as the systemd service taurelin-api\n"
  "on a demo database; taurelin-db sets up and checks databases, taurelin-client\n"
  "sends requests from a shell. The operator window is in taurelin-window.")
# Qt's SQL drivers are plugins that nothing links, and the maintainer scripts use adduser.
# GMime links GPGME, which needs "gnupg | gpg"; the server signs and encrypts nothing, and
# naming gpg lets apt take that one program rather than the whole GnuPG suite (agent, key
# server client, web key service, translations: a dozen packages, about 14 MB installed).
set(CPACK_DEBIAN_SERVER_PACKAGE_DEPENDS "libqt6sql6-sqlite, libqt6sql6-psql, adduser, gpg")
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/deploy/debian/conffiles
    ${PROJECT_SOURCE_DIR}/deploy/debian/postinst
    ${PROJECT_SOURCE_DIR}/deploy/debian/prerm
    ${PROJECT_SOURCE_DIR}/deploy/debian/postrm)

# The window's package: the windowed program alone, on the server package of the same version,
# whose configuration, schemas, mail templates and tools it uses.
set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME taurelin-window)
set(CPACK_DEBIAN_WINDOW_PACKAGE_SECTION x11)
string(CONCAT CPACK_DEBIAN_WINDOW_DESCRIPTION
  "The operator window: taurelin-api-window is the booking interface server of\n"
  "the package taurelin with its operator window (listener, log file, log view,\n"
  "test request). It takes the same options as taurelin-api and opens the window\n"
  "when a display is available. The packaged service keeps running the headless\n"
  "taurelin-api.")
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_COMPONENT_WINDOW_DEPENDS server)

include(CPack)
