cmake_minimum_required(VERSION 3.25)
# Fails if a quoted include climbs out of its folder ("../"), which would get
# past the layers' include roots: cmake -DSOURCE=... -P check-includes.cmake
file(GLOB_RECURSE sources ${SOURCE}/*.h ${SOURCE}/*.cpp ${SOURCE}/*.in)
list(FILTER sources EXCLUDE REGEX "^${SOURCE}/(build|dist)/")
foreach(file IN LISTS sources)
  file(STRINGS ${file} climbing REGEX "^[ \t]*#[ \t]*include[ \t]*\"\\.\\./")
  if(climbing)
    message(SEND_ERROR "${file}: ${climbing}")
  endif()
endforeach()
