# The player's sources join the media library (included by
# media/CMakeLists.txt before the library targets are made).
file(GLOB KESTROVA_MEDIA_PLAYER_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/player/*.cpp)
list(APPEND KESTROVA_MEDIA_SOURCES ${KESTROVA_MEDIA_PLAYER_SOURCES})
