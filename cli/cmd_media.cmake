# probe, thumbnail and convert: the media library (which writes the thumbnails'
# JPEG files too).
list(APPEND KESTROVA_CLI_LIBS kestrova_media)
