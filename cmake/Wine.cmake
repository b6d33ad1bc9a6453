# Windows programs of the win64 tree run under wine64 in a prefix that belongs to the build tree.
# (scripts/wine-run prepares that prefix once and sets up the environment.)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(QU_WINE_RUN ${CMAKE_SOURCE_DIR}/scripts/wine-run)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QU_WINE_RUN} ${CMAKE_BINARY_DIR})
endif()
