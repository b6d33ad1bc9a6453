# The programs that travel in every installer (setup.exe, the demo's programs): no symbols, and without the
# C++ runtime's verbose terminate handler (platform/TerminateHandler.cpp) and its error functions of the
# containers (platform/ContainerErrors.cpp), which must be the program's own objects to take the runtime's
# place.
function(qu_shipped_program target)
  target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/platform/TerminateHandler.cpp
                                   ${PROJECT_SOURCE_DIR}/platform/ContainerErrors.cpp
                                   ${PROJECT_SOURCE_DIR}/platform/FormatText.cpp
                                   ${PROJECT_SOURCE_DIR}/platform/StaticGuards.cpp
                                   ${PROJECT_SOURCE_DIR}/platform/ThreadSupport.cpp)
  target_link_options(${target} PRIVATE $<$<CONFIG:Release,MinSizeRel>:-s>)
endfunction()
