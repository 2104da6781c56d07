# Packs tolvane-<version>-win64.zip (exe, README, CHANGELOG, LICENSE, THIRD-PARTY-NOTICES.txt)
# and the per-user setup, tolvane-<version>-win64-setup.exe, each with its SHA-256 file, and
# their bill of materials, tolvane-<version>.cdx.json, and the build record of them all,
# tolvane-<version>.buildinfo (cmake/buildinfo.cmake), into OUT_DIR. The same sources give the
# same files, whoever packs them, when. From the environment:
# - TOLVANE_SIGN_P12: tools/sign.sh signs the exe, the uninstaller and the setup, and keeps
#   each signature alone in signatures/;
# - TOLVANE_DOWNLOAD_URL, the folder the files will be published in: winget and Scoop manifests;
# - TOLVANE_VERIFY=DIR: signs nothing and leaves OUT_DIR alone; puts DIR's signatures (if any)
#   on the rebuilt files and compares them with DIR's, one line a file, after naming what of this
#   build differs from DIR's build record (cmake/buildinfo.cmake); ends by naming the case.
# All is packed in WORK_DIR first, so a run that fails leaves no release in OUT_DIR.
# Run with -DEXE=... -DMAKENSIS=... -DSOURCE_DIR=... -DOUT_DIR=... -DWORK_DIR=... -DVERSION=...
include(${CMAKE_CURRENT_LIST_DIR}/changelog.cmake)
if(NOT MAKENSIS)
  message(FATAL_ERROR "makensis (Debian's nsis) was not found: no setup can be built.")
endif()
set(name tolvane-${VERSION}-win64)
set(ZIP ${name}.zip)
set(SETUP ${name}-setup.exe)
set(verify "$ENV{TOLVANE_VERIFY}")
set(out ${WORK_DIR}/out)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR}/exe ${out})
include(${CMAKE_CURRENT_LIST_DIR}/buildinfo.cmake)
unset(ENV{TOLVANE_ATTACH})
set(sign OFF)
if(verify)
  if(EXISTS ${verify}/tolvane.exe.sig)
    set(ENV{TOLVANE_ATTACH} ${verify})
    set(sign ON)
    foreach(sig uninstall.exe.sig ${SETUP}.sig)
      if(NOT EXISTS ${verify}/${sig})
        message(FATAL_ERROR "MISSING    ${sig}: a signed release has the signatures of all three files.")
      endif()
    endforeach()
  endif()
else()
  file(REMOVE_RECURSE ${OUT_DIR})
  if(NOT "$ENV{TOLVANE_SIGN_P12}" STREQUAL "")
    set(ENV{TOLVANE_SIGNATURES} ${out}/signatures)
    set(sign ON)
  endif()
endif()

# One exe, signed before it goes into both the zip and the setup.
file(COPY ${EXE} DESTINATION ${WORK_DIR}/exe)
set(exe ${WORK_DIR}/exe/tolvane.exe)
set(unfit) # in a check, the downloads whose published signatures do not fit what this source builds
if(sign)
  packing_step(${ZIP} ${SETUP} COMMAND bash ${SOURCE_DIR}/tools/sign.sh ${exe} tolvane.exe)
endif()
packing_step(${SETUP} COMMAND ${CMAKE_COMMAND} -DMAKENSIS=${MAKENSIS} -DEXE=${exe} -DSOURCE_DIR=${SOURCE_DIR}
                              -DVERSION=${VERSION} -DOUT=${out}/${SETUP} -DSIGN=${sign}
                              -P ${CMAKE_CURRENT_LIST_DIR}/setup.cmake)

set(entries ${name}/tolvane.exe ${name}/README.md ${name}/CHANGELOG.md ${name}/LICENSE
            ${name}/THIRD-PARTY-NOTICES.txt)
file(COPY ${exe} ${SOURCE_DIR}/README.md ${SOURCE_DIR}/CHANGELOG.md ${SOURCE_DIR}/LICENSE
          ${SOURCE_DIR}/THIRD-PARTY-NOTICES.txt
     DESTINATION ${WORK_DIR}/${name} FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
# One date and mode for every entry, and no extra fields (-X): cmake -E tar
# stores each file's access and change times, and zip by default the owner.
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC touch -d "2000-01-01 00:00" ${entries}
                WORKING_DIRECTORY ${WORK_DIR} COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC zip -q -X ${out}/${ZIP} ${entries}
                WORKING_DIRECTORY ${WORK_DIR} COMMAND_ERROR_IS_FATAL ANY)

if(verify)
  set(differ)
  set(missing)
  foreach(file ${ZIP} ${SETUP})
    list(FIND unfit ${file} unfitting)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${out}/${file} ${verify}/${file}
                    RESULT_VARIABLE differs OUTPUT_QUIET ERROR_QUIET)
    if(NOT EXISTS ${verify}/${file})
      message("MISSING    ${file}")
      list(APPEND missing ${file})
    elseif(unfitting EQUAL -1 AND NOT differs)
      message("identical  ${file}")
    else()
      message("DIFFERS    ${file}")
      list(APPEND differ ${file})
    endif()
  endforeach()
  if(missing)
    string(REPLACE ";" ", " missing "${missing}")
    message(FATAL_ERROR "Nothing to compare with: ${verify} has no ${missing}.")
  endif()
  verdict(${differ})
  return()
endif()

foreach(file ZIP SETUP)
  file(SHA256 ${out}/${${file}} ${file}_SHA256)
  file(WRITE ${out}/${${file}}.sha256 "${${file}_SHA256}  ${${file}}\n")
endforeach()

# The bill of materials: the code of others in each download, from the exe's link map beside
# the build's exe and from what makensis reports it packs, with the Debian packages' versions.
get_filename_component(build ${EXE} DIRECTORY)
execute_process(COMMAND python3 ${SOURCE_DIR}/tools/third_party.py bom ${SOURCE_DIR} ${build}/tolvane.map
                        ${MAKENSIS} ${VERSION} ${out}
                COMMAND_ERROR_IS_FATAL ANY)

# This version's changelog section, without its heading: the release's notes.
file(READ ${SOURCE_DIR}/CHANGELOG.md notes)
string(FIND "${notes}" "${section}\n" start)
string(LENGTH "${section}\n" heading)
math(EXPR start "${start} + ${heading}")
string(SUBSTRING "${notes}" ${start} -1 notes)
string(FIND "${notes}" "\n## " end)
string(SUBSTRING "${notes}" 0 ${end} notes)
string(STRIP "${notes}" notes)
file(WRITE ${WORK_DIR}/release-notes.md "${notes}\n")

set(url "$ENV{TOLVANE_DOWNLOAD_URL}")
if(url)
  string(REGEX REPLACE "/+$" "" url "${url}")
  set(SETUP_URL ${url}/${SETUP})
  set(ZIP_URL ${url}/${ZIP})
  # A GitHub release's project page is its repository; elsewhere, the folder of the downloads.
  string(REGEX REPLACE "^(https://github.com/[^/]+/[^/]+)/releases/download/.*$" "\\1" HOMEPAGE "${url}")
  string(REPLACE "\n" "\n  " RELEASE_NOTES "${notes}")
  # The setup's exit codes, as its script defines them: EXIT_CANNOT_WRITE and the others.
  file(STRINGS ${SOURCE_DIR}/installer/tolvane.nsi exits REGEX "^!define EXIT_[A-Z_]+ [0-9]+$")
  foreach(line ${exits})
    string(REGEX REPLACE "^!define ([A-Z_]+) ([0-9]+)$" "\\1;\\2" define "${line}")
    set(${define})
  endforeach()
  set(winget ${out}/winget/manifests/t/Tolvane/Tolvane/${VERSION})
  foreach(manifest Tolvane.Tolvane.yaml Tolvane.Tolvane.installer.yaml Tolvane.Tolvane.locale.en-US.yaml)
    configure_file(${SOURCE_DIR}/installer/winget/${manifest}.in ${winget}/${manifest} @ONLY)
  endforeach()
  configure_file(${SOURCE_DIR}/installer/scoop/tolvane.json.in ${out}/scoop/tolvane.json @ONLY)
else()
  message(STATUS "No winget or Scoop manifests: TOLVANE_DOWNLOAD_URL does not say where the files will be.")
endif()

write_build_record(${out})

file(COPY ${out}/ DESTINATION ${OUT_DIR})
foreach(file ZIP SETUP)
  message(STATUS "${OUT_DIR}/${${file}}: SHA-256 ${${file}_SHA256}")
endforeach()
