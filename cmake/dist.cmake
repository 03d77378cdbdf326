# Writes the release archives and their checksums into DIST:
#   update-VERSION-windows-x64.zip    update.exe, update-gd32.exe, GUIDE.txt (CRLF)
#   update-VERSION-linux-x86_64.tar.gz  update, update-gd32, GUIDE.txt
#   update-VERSION-web.zip            update.html, update-gd32.html, GUIDE.txt (CRLF)
#   SHA256SUMS
# Each archive holds one folder named like it. Everything in them depends
# only on the files and on SOURCE_DATE_EPOCH (the environment's, else the
# last commit's time): entries in a fixed order, with one time, fixed modes
# and no owner names. The zips are Info-ZIP's, over files given that time
# and those modes, with no extra fields (-X) and no folder entries (-D);
# a zip's times are local times, so it runs in UTC.
#   cmake -DVERSION= -DSOURCE= -DDIST= -DSTAGE= -DLINUX_UPDATE= -DLINUX_GD32=
#         -DWINDOWS_UPDATE= -DWINDOWS_GD32= -DWEB_UPDATE= -DWEB_GD32= -DZIP=
#         -P cmake/dist.cmake
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(epoch $ENV{SOURCE_DATE_EPOCH})
else()
  execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${SOURCE}
                  OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
  if(failed OR epoch STREQUAL "")
    message(FATAL_ERROR "set SOURCE_DATE_EPOCH: there is no commit to take the time from")
  endif()
endif()

set(windows update-${VERSION}-windows-x64)
set(linux update-${VERSION}-linux-x86_64)
set(web update-${VERSION}-web)
file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE}/${windows} ${STAGE}/${linux} ${STAGE}/${web} ${DIST})

file(READ ${SOURCE}/docs/guide.txt guide)
file(WRITE ${STAGE}/${linux}/GUIDE.txt "${guide}")
string(REPLACE "\n" "\r\n" guide_crlf "${guide}")
file(WRITE ${STAGE}/${windows}/GUIDE.txt "${guide_crlf}")
file(WRITE ${STAGE}/${web}/GUIDE.txt "${guide_crlf}")
foreach(pair "${LINUX_UPDATE}=${linux}/update" "${LINUX_GD32}=${linux}/update-gd32"
             "${WINDOWS_UPDATE}=${windows}/update.exe" "${WINDOWS_GD32}=${windows}/update-gd32.exe"
             "${WEB_UPDATE}=${web}/update.html" "${WEB_GD32}=${web}/update-gd32.html")
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 from)
  list(GET pair 1 to)
  file(COPY_FILE ${from} ${STAGE}/${to})
endforeach()

# A zip of `folder`'s files, in the order given.
function(make_zip folder)
  list(TRANSFORM ARGN PREPEND ${folder}/ OUTPUT_VARIABLE entries)
  file(REMOVE ${DIST}/${folder}.zip)
  execute_process(COMMAND chmod 0644 ${entries} WORKING_DIRECTORY ${STAGE} COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND touch --no-dereference --date=@${epoch} ${entries} WORKING_DIRECTORY ${STAGE}
                  COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC LC_ALL=C ${ZIP} -X -D -q -9 ${DIST}/${folder}.zip ${entries}
                  WORKING_DIRECTORY ${STAGE} COMMAND_ERROR_IS_FATAL ANY)
endfunction()

make_zip(${windows} update.exe update-gd32.exe GUIDE.txt)
make_zip(${web} update.html update-gd32.html GUIDE.txt)

set(tgz ${DIST}/${linux}.tar.gz)
execute_process(
  COMMAND tar --create --sort=name --format=gnu --mtime=@${epoch} --owner=0 --group=0 --numeric-owner
          --mode=u=rwX,go=rX --directory=${STAGE} ${linux}/update ${linux}/update-gd32 ${linux}/GUIDE.txt
  COMMAND gzip --no-name --best
  OUTPUT_FILE ${tgz}
  COMMAND_ERROR_IS_FATAL ANY)

set(sums "")
foreach(archive ${windows}.zip ${linux}.tar.gz ${web}.zip)
  file(SHA256 ${DIST}/${archive} hash)
  string(APPEND sums "${hash}  ${archive}\n")
endforeach()
file(WRITE ${DIST}/SHA256SUMS "${sums}")
message(STATUS "Release ${VERSION} in ${DIST}:\n${sums}")
