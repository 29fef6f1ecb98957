# scan and upload use the site sync library.
list(APPEND KESTROVA_CLI_LIBS kestrova_sync_terminal)
