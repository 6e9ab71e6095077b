# CPack step before the Debian packages are built, on the staged files of
# every component (CPACK_TEMPORARY_DIRECTORY/COMPONENT/usr/...):
# - programs and shared libraries lose the .comment and .note sections, as
#   Debian's own packages do (dh_strip); the static library loses its debug
#   information too, which CPack leaves in.

function(strip_sections path)
  execute_process(
    COMMAND ${CPACK_CALCULATOR_OBJCOPY} ${ARGN}
      --remove-section=.comment --remove-section=.note ${path}
    RESULT_VARIABLE status
  )
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "objcopy failed on ${path}")
  endif()
endfunction()

file(GLOB_RECURSE staged_files LIST_DIRECTORIES false
  ${CPACK_TEMPORARY_DIRECTORY}/program/*
  ${CPACK_TEMPORARY_DIRECTORY}/library/*)
foreach(path IN LISTS staged_files)
  if(IS_SYMLINK ${path})
    continue()
  endif()
  file(READ ${path} magic LIMIT 4 HEX)
  if(NOT magic STREQUAL "7f454c46")
    continue()
  endif()
  strip_sections(${path})
endforeach()

file(GLOB_RECURSE archives LIST_DIRECTORIES false ${CPACK_TEMPORARY_DIRECTORY}/development/*.a)
foreach(path IN LISTS archives)
  strip_sections(${path} --strip-debug --enable-deterministic-archives)
endforeach()
