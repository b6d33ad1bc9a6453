# Common warning flags for every target of the project.
add_compile_options(-Wall -Wextra)
if(QU_WARNINGS_AS_ERRORS)
  add_compile_options(-Werror)
endif()
