# probe and thumbnail: the media library, and libjpeg for writing thumbnails.
find_package(JPEG REQUIRED)
list(APPEND KESTROVA_CLI_LIBS kestrova_media JPEG::JPEG)
