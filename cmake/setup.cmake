# Builds the per-user setup, OUT, from EXE, the LICENSE and installer/tolvane.nsi with
# makensis; its icon is the exe's own. The setup stores each file's date, so the inputs are
# staged with one fixed date: the same sources give the same setup, whoever builds it, when.
# Run with -DMAKENSIS=... -DEXE=... -DSOURCE_DIR=... -DVERSION=... -DOUT=...
set(stage ${OUT}.inputs)
file(REMOVE_RECURSE ${stage})
file(MAKE_DIRECTORY ${stage})
file(COPY ${EXE} ${SOURCE_DIR}/LICENSE DESTINATION ${stage})
execute_process(COMMAND wrestool -x -t 14 -n 107 -o ${stage}/tolvane.ico ${stage}/tolvane.exe
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC
                        touch -d "2000-01-01 00:00" tolvane.exe LICENSE tolvane.ico
                WORKING_DIRECTORY ${stage} COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${MAKENSIS} -V2 -DVERSION=${VERSION} -DEXE=${stage}/tolvane.exe
                        -DLICENSE=${stage}/LICENSE -DICON=${stage}/tolvane.ico -DOUTFILE=${OUT}
                        ${SOURCE_DIR}/installer/tolvane.nsi
                COMMAND_ERROR_IS_FATAL ANY)
file(REMOVE_RECURSE ${stage})
