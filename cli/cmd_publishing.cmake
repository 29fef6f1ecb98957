# config, embed and register: the publishing logic and the request texts of
# the desktop tool, and libcurl to reach the back end.
pkg_check_modules(KESTROVA_CLI_CURL REQUIRED IMPORTED_TARGET libcurl)
list(APPEND KESTROVA_CLI_LIBS kestrova_publishing kestrova_service_protocol PkgConfig::KESTROVA_CLI_CURL)
