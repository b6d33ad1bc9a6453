# The programs that travel in every installer (setup.exe, the demo's programs): no symbols, their own entry
# point (platform/ProgramStart.cpp), and the program's own objects in place of runtime members that bring large
# parts of the runtime with them: the verbose terminate handler, snprintf, the static guards, the memory of
# thrown exceptions and the thread functions the exception support calls. The runtime itself calls these,
# after the link-time optimiser has run, so they stay ordinary objects. The containers' error functions
# (platform/ContainerErrors.cpp) are called from the program's own code and share the standard exception's
# type information with it: they are optimised with it.
set(QU_RUNTIME_MEMBERS ${PROJECT_SOURCE_DIR}/platform/ProgramStart.cpp
                       ${PROJECT_SOURCE_DIR}/platform/TerminateHandler.cpp
                       ${PROJECT_SOURCE_DIR}/platform/FormatText.cpp
                       ${PROJECT_SOURCE_DIR}/platform/StaticGuards.cpp
                       ${PROJECT_SOURCE_DIR}/platform/ExceptionMemory.cpp
                       ${PROJECT_SOURCE_DIR}/platform/ThreadSupport.cpp)

# In release builds each program is optimised as one unit at link time. The linker alone keeps every function
# of an object whose unwind table it keeps; the link-time optimiser drops what the program does not call. One
# partition, since GCC 12's partitioned link fails on setup.exe.
function(qu_optimised_program target)
  target_link_options(${target} PRIVATE $<$<CONFIG:Release,MinSizeRel>:-fuse-linker-plugin -flto -flto-partition=one>)
  set_property(GLOBAL APPEND PROPERTY QU_OPTIMISED_PROGRAMS ${target})
endfunction()

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(QU_PROGRAM_START _ProgramStart)
else()
  set(QU_PROGRAM_START ProgramStart)
endif()

function(qu_shipped_program target)
  target_sources(${target} PRIVATE ${QU_RUNTIME_MEMBERS} ${PROJECT_SOURCE_DIR}/platform/ContainerErrors.cpp)
  set_source_files_properties(${QU_RUNTIME_MEMBERS} PROPERTIES COMPILE_OPTIONS $<$<CONFIG:Release,MinSizeRel>:-fno-lto>)
  # Data imported without a declaration saying so would need the runtime relocations that only the runtime's
  # start-up object applies: such an import fails the link instead.
  target_link_options(${target} PRIVATE $<$<CONFIG:Release,MinSizeRel>:-s>
                      -specs=${PROJECT_SOURCE_DIR}/cmake/ProgramStart.gccdriver -Wl,--entry=${QU_PROGRAM_START}
                      -Wl,--disable-auto-import)
  qu_optimised_program(${target})
endfunction()

# The libraries each such program links, found through their link dependencies.
function(qu_linked_targets out)
  set(found)
  set(pending ${ARGN})
  while(pending)
    list(POP_FRONT pending t)
    if(NOT TARGET ${t} OR t IN_LIST found)
      continue()
    endif()
    get_target_property(imported ${t} IMPORTED)
    if(imported)
      continue()
    endif()
    list(APPEND found ${t})
    foreach(property LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
      get_target_property(deps ${t} ${property})
      if(deps)
        list(APPEND pending ${deps})
      endif()
    endforeach()
  endwhile()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

# Called once every target exists. The objects of what those programs link carry the optimiser's
# intermediate code beside the ordinary code (fat objects), so the test programs link the same libraries as
# before. The programs ask no object for its type (no dynamic_cast or typeid): they carry no type information
# but for the exceptions.
function(qu_shipped_objects)
  get_property(programs GLOBAL PROPERTY QU_OPTIMISED_PROGRAMS)
  qu_linked_targets(targets ${programs})
  foreach(t ${targets})
    get_target_property(type ${t} TYPE)
    if(type MATCHES "^(STATIC_LIBRARY|OBJECT_LIBRARY|EXECUTABLE)$")
      set_property(TARGET ${t} APPEND PROPERTY COMPILE_OPTIONS
                   "$<$<CONFIG:Release,MinSizeRel>:-flto;-ffat-lto-objects>" $<$<COMPILE_LANGUAGE:CXX>:-fno-rtti>)
    endif()
  endforeach()
endfunction()
