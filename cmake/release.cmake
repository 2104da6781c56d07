# Packs tolvane-<version>-win64.zip (exe, README, CHANGELOG, LICENSE) beside the setup,
# tolvane-<version>-win64-setup.exe, each with its SHA-256 file. The same sources give the
# same files, whoever packs them, when.
# Run with -DEXE=... -DSETUP=... -DSOURCE_DIR=... -DOUT_DIR=... -DVERSION=...
include(${CMAKE_CURRENT_LIST_DIR}/changelog.cmake)
if(NOT EXISTS ${SETUP})
  message(FATAL_ERROR "No setup at ${SETUP}: makensis (Debian's nsis) was not found.")
endif()
set(name tolvane-${VERSION}-win64)
set(stage ${OUT_DIR}/${name})
set(entries ${name}/tolvane.exe ${name}/README.md ${name}/CHANGELOG.md ${name}/LICENSE)
file(REMOVE_RECURSE ${stage} ${OUT_DIR}/${name}.zip)
file(MAKE_DIRECTORY ${stage})
file(COPY ${EXE} ${SOURCE_DIR}/README.md ${SOURCE_DIR}/CHANGELOG.md ${SOURCE_DIR}/LICENSE
     DESTINATION ${stage} FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# One date and mode for every entry, and no extra fields (-X): cmake -E tar
# stores each file's access and change times, and zip by default the owner.
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC touch -d "2000-01-01 00:00" ${entries}
                WORKING_DIRECTORY ${OUT_DIR} COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC zip -q -X ${name}.zip ${entries}
                WORKING_DIRECTORY ${OUT_DIR} COMMAND_ERROR_IS_FATAL ANY)
file(REMOVE_RECURSE ${stage})
file(COPY ${SETUP} DESTINATION ${OUT_DIR})

foreach(file ${name}.zip ${name}-setup.exe)
  file(SHA256 ${OUT_DIR}/${file} hash)
  file(WRITE ${OUT_DIR}/${file}.sha256 "${hash}  ${file}\n")
  message(STATUS "${OUT_DIR}/${file}: SHA-256 ${hash}")
endforeach()
