# config, embed and register: the publishing logic and the request texts of
# the desktop tool, and libcurl (loaded at run time, see curl_library.h) to
# reach the back end.
pkg_check_modules(KESTROVA_CLI_CURL REQUIRED libcurl)
list(APPEND KESTROVA_CLI_LIBS kestrova_publishing kestrova_service_protocol ${CMAKE_DL_LIBS})
