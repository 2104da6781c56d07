# Packs tolvane-<version>-win64.zip (exe, README, CHANGELOG, LICENSE) and its
# SHA-256 file. Entries get a fixed date, so the same sources give the same zip.
# Run with -DEXE=... -DSOURCE_DIR=... -DOUT_DIR=... -DVERSION=...
include(${CMAKE_CURRENT_LIST_DIR}/changelog.cmake)
set(name tolvane-${VERSION}-win64)
set(stage ${OUT_DIR}/${name})
file(REMOVE_RECURSE ${stage})
file(MAKE_DIRECTORY ${stage})
file(COPY ${EXE} ${SOURCE_DIR}/README.md ${SOURCE_DIR}/CHANGELOG.md ${SOURCE_DIR}/LICENSE
     DESTINATION ${stage})

execute_process(
  COMMAND ${CMAKE_COMMAND} -E tar cf ${OUT_DIR}/${name}.zip --format=zip "--mtime=2000-01-01 00:00:00 UTC"
          ${name}/tolvane.exe ${name}/README.md ${name}/CHANGELOG.md ${name}/LICENSE
  WORKING_DIRECTORY ${OUT_DIR}
  COMMAND_ERROR_IS_FATAL ANY)
file(REMOVE_RECURSE ${stage})
file(SHA256 ${OUT_DIR}/${name}.zip hash)
file(WRITE ${OUT_DIR}/${name}.zip.sha256 "${hash}  ${name}.zip\n")
message(STATUS "${OUT_DIR}/${name}.zip")
message(STATUS "${OUT_DIR}/${name}.zip.sha256: ${hash}")
