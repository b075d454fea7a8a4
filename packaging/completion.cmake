# Writes vorm-cli's completion for one shell.
#   cmake -DPROGRAM=vorm-cli -DSHELL_NAME=bash|zsh -DOUTPUT=file -P completion.cmake
execute_process(COMMAND ${PROGRAM} --completion ${SHELL_NAME} OUTPUT_FILE ${OUTPUT}.part
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    file(REMOVE ${OUTPUT}.part)
    message(FATAL_ERROR "${PROGRAM} --completion ${SHELL_NAME} failed")
endif()
file(RENAME ${OUTPUT}.part ${OUTPUT})
