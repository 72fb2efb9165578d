# The DLLs the Windows programs load are copied into every folder of the build
# tree that holds a program, before the program is linked, so that each runs
# there, under Wine, as it would from the installed folder. (A program's own
# POST_BUILD step cannot be added from here: CMake takes those only in the
# program's own CMakeLists.txt.)

# Appends the programs of `directory` and of the directories under it to the
# global property VANDREL_PROGRAMS, and their folders to VANDREL_PROGRAM_FOLDERS.
function(vandrel_find_programs directory)
  get_property(targets DIRECTORY ${directory} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "EXECUTABLE")
      get_target_property(folder ${target} RUNTIME_OUTPUT_DIRECTORY)
      if(NOT folder)
        get_property(folder DIRECTORY ${directory} PROPERTY BINARY_DIR)
      endif()
      set_property(GLOBAL APPEND PROPERTY VANDREL_PROGRAMS ${target})
      set_property(GLOBAL APPEND PROPERTY VANDREL_PROGRAM_FOLDERS ${folder})
    endif()
  endforeach()
  get_property(subdirectories DIRECTORY ${directory} PROPERTY SUBDIRECTORIES)
  foreach(subdirectory IN LISTS subdirectories)
    vandrel_find_programs(${subdirectory})
  endforeach()
endfunction()

function(vandrel_copy_runtime_dlls dlls)
  vandrel_find_programs(${PROJECT_SOURCE_DIR})
  get_property(programs GLOBAL PROPERTY VANDREL_PROGRAMS)
  get_property(folders GLOBAL PROPERTY VANDREL_PROGRAM_FOLDERS)
  list(REMOVE_DUPLICATES folders)
  set(commands "")
  foreach(folder IN LISTS folders)
    list(APPEND commands COMMAND ${CMAKE_COMMAND} -E copy_if_different ${dlls} ${folder})
  endforeach()
  add_custom_target(runtime_dlls ${commands} COMMENT "Copying the runtime DLLs beside the programs" VERBATIM)
  foreach(program IN LISTS programs)
    add_dependencies(${program} runtime_dlls)
  endforeach()
endfunction()
