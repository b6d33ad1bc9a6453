# A cross build needs the payload builder as a program of the build machine: build the
# native tools of this same source tree in a sub-build and use its mkpayload.
include(ExternalProject)
set(QU_HOST_DIR ${CMAKE_BINARY_DIR}/host)
set(QU_HOST_MKPAYLOAD ${QU_HOST_DIR}/tools/mkpayload)
ExternalProject_Add(host_tools
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${QU_HOST_DIR}
  CMAKE_ARGS -DQU_HOST_TOOLS_ONLY=ON -DQU_BUILD_TESTS=OFF -DQU_BUILD_BENCH=OFF
             -DCMAKE_BUILD_TYPE=Release -DQU_WARNINGS_AS_ERRORS=${QU_WARNINGS_AS_ERRORS}
  BUILD_COMMAND ${CMAKE_COMMAND} --build ${QU_HOST_DIR} --target mkpayload
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${QU_HOST_MKPAYLOAD}
  USES_TERMINAL_BUILD ON)
