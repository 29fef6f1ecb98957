# add: the conversion settings builder, the publishing step of the catalogue,
# and libcurl to register the videos with the back end.
pkg_check_modules(KESTROVA_CLI_CURL REQUIRED IMPORTED_TARGET libcurl)
list(APPEND KESTROVA_CLI_LIBS kestrova_convert kestrova_catalogue PkgConfig::KESTROVA_CLI_CURL)
