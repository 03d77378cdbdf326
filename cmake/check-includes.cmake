cmake_minimum_required(VERSION 3.25)
# The layer rule in the sources: cmake -DSOURCE=<project> -P check-includes.cmake
#
# Every include of the project's own headers names one of its folders and a
# path under it, with no "." or ".." step and no path that leaves the
# folder ("../x.h", "kit/../midi/x.h", "./kit/x.h"), and the folder is one
# the including file's layer may use. An include without a folder
# ("x.h") would find a header beside the including file, so it is refused
# too. The build's include roots enforce the same rule for the compiler;
# this check covers the including file's own folder, which the compiler
# searches first.
include(${CMAKE_CURRENT_LIST_DIR}/layers.cmake)
set(folders ${project_folders})
set(any_layer ${folders})

if(NOT DEFINED SOURCE)
  message(FATAL_ERROR "SOURCE is not set")
endif()
file(GLOB_RECURSE sources ${SOURCE}/*.h ${SOURCE}/*.cpp ${SOURCE}/*.in)
list(FILTER sources EXCLUDE REGEX "^${SOURCE}/(build|dist|\\.git)/")
set(faults 0)
foreach(file IN LISTS sources)
  file(RELATIVE_PATH relative ${SOURCE} ${file})
  string(REGEX MATCH "^[^/]+" layer "${relative}")
  if(DEFINED may_use_${layer})
    set(allowed ${may_use_${layer}})
  else()
    set(allowed ${any_layer})  # tests, bench, fuzz, tools: any folder
  endif()
  file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
  foreach(line IN LISTS lines)
    string(REGEX MATCH "[\"<]([^\">]*)[\">]" found "${line}")
    set(path "${CMAKE_MATCH_1}")
    string(REGEX MATCH "^[<]" angle "${found}")
    string(REGEX MATCH "^[^/]+" first "${path}")
    if(angle)
      # <...> is the platform's, unless it names one of our folders.
      list(FIND folders "${first}" ours)
      if(ours LESS 0 OR NOT path MATCHES "/")
        continue()
      endif()
    endif()
    set(why "")
    if(path MATCHES "(^|/)\\.\\.?(/|$)" OR path MATCHES "^/" OR path MATCHES "\\\\")
      set(why "a path that leaves its folder")
    elseif(NOT path MATCHES "/")
      set(why "an include without its folder")
    else()
      list(FIND allowed "${first}" may)
      if(may LESS 0)
        set(why "layer ${layer} may not use ${first}")
      endif()
    endif()
    if(why)
      message(SEND_ERROR "${relative}: ${line}: ${why}")
      math(EXPR faults "${faults} + 1")
    endif()
  endforeach()
endforeach()
if(faults GREATER 0)
  message(FATAL_ERROR "${faults} include(s) break the layer rule")
endif()
