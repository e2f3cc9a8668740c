# The Debian package, velmora_<version>_<arch>.deb (scripts/package.sh):
#   /usr/bin/velmora                 starts the program in the user's data folder
#   /usr/lib/velmora/Velmora         the program, which opens data.mdb of its current folder
#   /usr/share/velmora/data.mdb      the delivered database, copied for each user
#   a menu entry, an icon, a manual page, copyright and changelog.
# Its dependencies are read from the binaries (dpkg-shlibdeps), plus what they
# load at run time without naming it.
set(VELMORA_PACKAGE_MAINTAINER "Velmora developers <maintainers@velmora.example>"
    CACHE STRING "Maintainer field of the Debian package: name <address>")

set(_pkg ${PROJECT_SOURCE_DIR}/packaging)
set(_gen ${PROJECT_BINARY_DIR}/packaging)

install(TARGETS velmora RUNTIME DESTINATION lib/velmora)
install(PROGRAMS ${_pkg}/velmora.sh DESTINATION bin RENAME velmora)
install(FILES ${VELMORA_DELIVERED_DB} DESTINATION share/velmora)
install(FILES ${_pkg}/velmora.desktop DESTINATION share/applications)
install(FILES ${_pkg}/velmora.svg DESTINATION share/icons/hicolor/scalable/apps)
install(FILES ${_pkg}/copyright DESTINATION share/doc/velmora)

# Debian wants the changelog and the manual page compressed to the full, with
# no name or time in the gzip header (the same input makes the same package).
find_program(GZIP gzip REQUIRED)
foreach(doc changelog velmora.1)
  configure_file(${_pkg}/${doc}.in ${_gen}/${doc} @ONLY)
  execute_process(COMMAND ${GZIP} -9nc ${_gen}/${doc} OUTPUT_FILE ${_gen}/${doc}.gz
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()
install(FILES ${_gen}/changelog.gz DESTINATION share/doc/velmora)
install(FILES ${_gen}/velmora.1.gz DESTINATION share/man/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${VELMORA_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the binaries load without naming it: the SQLite driver of Qt SQL, and
# the fonts receipts are laid out in when the Windows ones are not installed.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, fonts-noto-cjk, fonts-liberation2")
# Receipts print through a CUPS scheduler, this machine's or another's.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "cups")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "sales receipts of a small shop, written and printed
Velmora销售小票打印软件(标准版): a cashier logs in, types the lines of a
ticket, reads the totals and the change, and prints the receipt on the
shop's receipt printer through CUPS. Administrators keep the users, the
product catalogue and the receipt texts; the sales history lists, searches
and exports past tickets.
.
Each user's data lives in ~/Velmora/data.mdb (or $VELMORA_HOME), made
from the delivered database at the first start.")
include(CPack)

# CI builds the package from this tree's binaries and checks it.
if(BUILD_TESTING AND NOT VELMORA_SANITIZE AND NOT VELMORA_FUZZ)
  add_test(NAME tst_package
    COMMAND bash ${PROJECT_SOURCE_DIR}/tests/package/tst_package.sh
            ${PROJECT_BINARY_DIR} ${PROJECT_BINARY_DIR}/package)
  set_tests_properties(tst_package PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LANG=C.UTF-8;LC_ALL=C.UTF-8"
    TIMEOUT 300
    LABELS package)
endif()
