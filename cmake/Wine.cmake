# Windows programs of the cross trees run under Wine in a prefix that belongs to the build tree
# (scripts/wine-run prepares it once and sets up the environment; QU_WINE_ARCH chooses a 64-bit or a
# 32-bit Windows for the i686 tree).
set(QU_WINE_RUN ${CMAKE_SOURCE_DIR}/scripts/wine-run)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QU_WINE_RUN} ${CMAKE_BINARY_DIR})
