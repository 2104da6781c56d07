# Builds the per-user setup, OUT, from EXE, the LICENSE, THIRD-PARTY-NOTICES.txt and
# installer/tolvane.nsi with makensis; its icon is the exe's own. The setup stores each file's
# date, so the inputs are staged with one fixed date: the same sources give the same setup,
# whoever builds it, when.
# With SIGN, tools/sign.sh signs (or puts a signature back on) the uninstaller before it is
# stored, and the finished setup.
# Run with -DMAKENSIS=... -DEXE=... -DSOURCE_DIR=... -DVERSION=... -DOUT=... [-DSIGN=ON]
set(stage ${OUT}.inputs)
file(REMOVE_RECURSE ${stage})
file(MAKE_DIRECTORY ${stage})
file(COPY ${EXE} ${SOURCE_DIR}/LICENSE ${SOURCE_DIR}/THIRD-PARTY-NOTICES.txt DESTINATION ${stage})
execute_process(COMMAND wrestool -x -t 14 -n 107 -o ${stage}/tolvane.ico ${stage}/tolvane.exe
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC
                        touch -d "2000-01-01 00:00" tolvane.exe LICENSE THIRD-PARTY-NOTICES.txt tolvane.ico
                WORKING_DIRECTORY ${stage} COMMAND_ERROR_IS_FATAL ANY)
# Given only when signing: even a finalize command that does nothing changes the setup's bytes.
# "= 0" stops the build when signing fails, instead of writing an unsigned setup.
set(sign)
if(SIGN)
  get_filename_component(name ${OUT} NAME)
  set(signer "bash \"${SOURCE_DIR}/tools/sign.sh\" \"%1\"")
  set(sign "-X!uninstfinalize '${signer} uninstall.exe' = 0" "-X!finalize '${signer} ${name}' = 0")
endif()
execute_process(COMMAND ${MAKENSIS} -V2 -DVERSION=${VERSION} -DEXE=${stage}/tolvane.exe
                        -DLICENSE=${stage}/LICENSE -DNOTICES=${stage}/THIRD-PARTY-NOTICES.txt
                        -DICON=${stage}/tolvane.ico -DOUTFILE=${OUT}
                        ${sign} ${SOURCE_DIR}/installer/tolvane.nsi
                COMMAND_ERROR_IS_FATAL ANY)
file(REMOVE_RECURSE ${stage})
