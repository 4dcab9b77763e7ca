# The Debian package of an installed copy (scripts/package): the program, its menu entry, icon and
# metainfo under /usr. The libraries it links come from dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME wendup)
set(CPACK_PACKAGE_VENDOR "Wendup FTP developers")
set(CPACK_PACKAGE_CONTACT "Wendup FTP developers <wendup@example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "FTP uploader with a Japanese user interface")
set(CPACK_PACKAGE_DESCRIPTION
    "Uploads files handed to it by the file manager or the command line to the FTP server of a saved profile, converting Japanese text when the profile asks for it.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window system plugins are no library of the program, and Qt's Japanese texts are data.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n")
# libssl is loaded only when TLS is used, so dpkg-shlibdeps cannot see it: the package that holds
# the version the program was built against is named here.
find_package(OpenSSL REQUIRED)
get_filename_component(wendup_libssl ${OPENSSL_SSL_LIBRARY} REALPATH)
execute_process(COMMAND dpkg-query -S ${wendup_libssl} OUTPUT_VARIABLE wendup_libssl_owner
                ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
string(REGEX MATCH "^[^:]+" wendup_libssl_package "${wendup_libssl_owner}")
if(wendup_libssl_package)
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", ${wendup_libssl_package}")
endif()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "desktop-file-utils")
include(CPack)
