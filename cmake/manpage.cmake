# Writes the man page of one program from its --help text, so the two never differ.
# cmake -DPROGRAM=path -DNAME=name -DSUMMARY=text -DVERSION=x.y.z -DOUTPUT=dir/name.1 -P manpage.cmake
# Writes OUTPUT and OUTPUT.gz.
execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR help STREQUAL "")
    message(FATAL_ERROR "${PROGRAM} --help failed (${rc})")
endif()

# troff: a backslash is \e, a minus is \-, a line must not start with a control character.
string(REPLACE "\\" "\\e" help "${help}")
string(REPLACE "-" "\\-" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
string(REPLACE "-" "\\-" summary "${SUMMARY}")
string(REPLACE "-" "\\-" name "${NAME}")
string(TOUPPER "${NAME}" title)

file(WRITE ${OUTPUT}
".TH ${title} 1 \"\" \"${NAME} ${VERSION}\" \"User Commands\"
.SH NAME
${name} \\- ${summary}
.SH DESCRIPTION
The text that
.B ${name} \\-\\-help
prints:
.PP
.nf
${help}.fi
.SH VERSION
${VERSION}; \\fB${name} \\-\\-version\\fR prints it.
")
execute_process(COMMAND gzip -9nfk ${OUTPUT} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "gzip ${OUTPUT} failed")
endif()
