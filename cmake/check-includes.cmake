cmake_minimum_required(VERSION 3.25)
# Fails if a quoted include climbs out of its folder ("../"), which would
# get past the layers' include roots: cmake -DSOURCE=... -P check-includes.cmake
file(GLOB_RECURSE sources RELATIVE ${SOURCE}
  ${SOURCE}/app/* ${SOURCE}/backends/* ${SOURCE}/bench/* ${SOURCE}/core/* ${SOURCE}/fuzz/*.cpp
  ${SOURCE}/kit/* ${SOURCE}/midi/* ${SOURCE}/protocol/* ${SOURCE}/sim/* ${SOURCE}/tests/* ${SOURCE}/tools/*)
set(climbing "")
foreach(file IN LISTS sources)
  file(STRINGS ${SOURCE}/${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"\\.\\./")
  if(lines)
    list(APPEND climbing "${file}")
  endif()
endforeach()
if(climbing)
  message(FATAL_ERROR "includes that climb out of their folder in: ${climbing}")
endif()
list(LENGTH sources count)
message(STATUS "${count} files, no include climbs out of its folder")
