# One set of warnings for every library and program of ours, linked PRIVATE so it
# never reaches a consumer's own code. With -DDL_WERROR=ON (test.sh sets it for the
# normal GCC build under CI) a warning fails the build. It stays off by default: the
# sanitizer build and clang's fuzz build warn about other things (clang's
# -Wconversion includes sign conversions), and those builds are there to run code.
option(DL_WERROR "Treat compiler warnings as errors" OFF)

add_library(dl_warnings INTERFACE)
if(MSVC)
  target_compile_options(dl_warnings INTERFACE /W4)
  if(DL_WERROR)
    target_compile_options(dl_warnings INTERFACE /WX)
  endif()
else()
  target_compile_options(dl_warnings INTERFACE -Wall -Wextra -Wshadow -Wconversion -Wpedantic)
  if(DL_WERROR)
    target_compile_options(dl_warnings INTERFACE -Werror)
  endif()
endif()

# Links dl_warnings into every library and program defined under `dir`, so that a new
# target cannot be left without it. Called once the whole tree has been added.
function(dl_link_warnings_below dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(t ${targets})
    get_target_property(type ${t} TYPE)
    if(type MATCHES "^(STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY|EXECUTABLE)$")
      target_link_libraries(${t} PRIVATE dl_warnings)
    endif()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub ${subdirs})
    dl_link_warnings_below(${sub})
  endforeach()
endfunction()
