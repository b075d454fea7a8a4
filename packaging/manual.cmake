# Writes one gzipped manual page from a program's --help and --version.
#   cmake -DHELP2MAN=... -DGZIP=... -DPROGRAM=... -DINCLUDE=x.h2m -DOUTPUT=x.1.gz -P manual.cmake
get_filename_component(out_dir ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${out_dir})
get_filename_component(name ${OUTPUT} NAME_WE)
set(plain ${out_dir}/${name}.1)
execute_process(
    COMMAND ${HELP2MAN} --no-info --no-discard-stderr --section=1 --include=${INCLUDE}
            --output=${plain} ${PROGRAM}
    RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "help2man failed for ${PROGRAM}")
endif()
# vorm-cli's help names this machine's memory as the default limit; the page is the same for all.
file(READ ${plain} page)
string(REGEX REPLACE "memory,[ \n]+[0-9.]+[ \n]+[kMGT]?B\\)" "memory)" page "${page}")
# The exit codes at the end of vorm-cli's help make a section of their own.
string(REPLACE ".SS \"Exit status:\"" ".SH \"EXIT STATUS\"" page "${page}")
file(WRITE ${plain} "${page}")
execute_process(COMMAND ${GZIP} -9 -n -c ${plain} OUTPUT_FILE ${OUTPUT} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "gzip failed for ${plain}")
endif()
