# add: the conversion settings builder, the publishing step of the catalogue,
# and libcurl (loaded at run time, see curl_library.h) to register the videos
# with the back end.
pkg_check_modules(KESTROVA_CLI_CURL REQUIRED libcurl)
list(APPEND KESTROVA_CLI_LIBS kestrova_convert kestrova_catalogue ${CMAKE_DL_LIBS})
