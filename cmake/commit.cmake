# The commit a build is made from, as the version block and the log's start line name it:
# git's 12-digit hash of HEAD, followed by " con cambios" when tracked files differ from it, or
# "desconocido" for a tree that is not the top of a git work tree (an exported copy). Included
# by CMakeLists.txt; run as `cmake -DKAVRO_SOURCE=<tree> -P cmake/commit.cmake` it prints the
# text, so that a copy of the tree can be given the commit of the tree it was copied from.

function(kavro_commit source result)
  set(text desconocido)
  find_program(KAVRO_GIT git)
  if(KAVRO_GIT)
    execute_process(COMMAND ${KAVRO_GIT} -C ${source} rev-parse --show-toplevel
                    OUTPUT_VARIABLE top RESULT_VARIABLE failed
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    file(REAL_PATH "${source}" source_real)
    # A copy under the build folder lies inside the work tree it was copied from: that work
    # tree's commit says nothing of the copy.
    if(NOT failed AND top)
      file(REAL_PATH "${top}" top)
    endif()
    if(NOT failed AND top STREQUAL source_real)
      execute_process(COMMAND ${KAVRO_GIT} -C ${source} rev-parse --short=12 HEAD
                      OUTPUT_VARIABLE hash RESULT_VARIABLE failed
                      OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      # No optional locks: a status that refreshed the index would make the build configure
      # itself again (the index is one of the files it watches).
      execute_process(COMMAND ${KAVRO_GIT} --no-optional-locks -C ${source} status --porcelain
                              --untracked-files=no
                      OUTPUT_VARIABLE changes OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      if(NOT failed AND hash)
        set(text ${hash})
        if(changes)
          string(APPEND text " con cambios")
        endif()
      endif()
    endif()
  endif()
  set(${result} "${text}" PARENT_SCOPE)
endfunction()

# Files whose change means another commit or other changes: HEAD, the branch it names and the
# index. A build configures itself again when one of them changes.
function(kavro_commit_files source result)
  set(files)
  if(KAVRO_GIT)
    execute_process(COMMAND ${KAVRO_GIT} -C ${source} symbolic-ref -q HEAD
                    OUTPUT_VARIABLE branch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    foreach(name HEAD index ${branch})
      execute_process(COMMAND ${KAVRO_GIT} -C ${source} rev-parse --path-format=absolute
                              --git-path ${name}
                      OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      if(path AND EXISTS "${path}")
        list(APPEND files "${path}")
      endif()
    endforeach()
  endif()
  set(${result} "${files}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  kavro_commit("${KAVRO_SOURCE}" text)
  execute_process(COMMAND ${CMAKE_COMMAND} -E echo "${text}")
endif()
