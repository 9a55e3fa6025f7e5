# The Debian package, made by CPack (scripts/package builds it in Release): the three programs
# (their install rules stand beside them), the schemas and demo data, the systemd units, and the
# configuration and alias file for /etc/taurelin with the maintainer scripts of deploy/.
# `cpack -G DEB` in the build directory writes taurelin_VERSION_ARCH.deb.

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
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "A TCP server that answers a web shop's booking requests (prices, free units,\n"
  "holds, bookings) from an accommodation business's booking database, SQLite or\n"
  "PostgreSQL. The package runs it headless as the systemd service taurelin-api\n"
  "on a demo database; taurelin-db sets up and checks databases, taurelin-client\n"
  "sends requests from a shell.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TAURELIN_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs link (Qt, libc, libstdc++, SQLite, ...) come from dpkg-shlibdeps;
# Qt's SQL drivers are plugins that nothing links, and the maintainer scripts use adduser.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, libqt6sql6-psql, adduser")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/deploy/debian/conffiles
    ${PROJECT_SOURCE_DIR}/deploy/debian/postinst
    ${PROJECT_SOURCE_DIR}/deploy/debian/prerm
    ${PROJECT_SOURCE_DIR}/deploy/debian/postrm)
# Maintainer scripts 0755, conffiles 0644, whatever the checkout's modes.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
