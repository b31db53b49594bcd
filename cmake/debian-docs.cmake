# Writes the two documents a Debian package carries in share/doc: the
# changelog, in Debian's own form, from this version's section of
# CHANGELOG.md; and a machine-readable copyright file (DEP-5) from LICENSE.
#
#   cmake -DSOURCE_DIR=... -DOUTPUT_DIR=... -DVERSION=... -DRELEASE_DATE=yyyy/mm/dd
#         -DCONTACT=... -P debian-docs.cmake

set(authors "The snipdir authors")

# The changelog: the bullets of this version's section, as Debian entries.
file(READ ${SOURCE_DIR}/CHANGELOG.md changes)
string(FIND "${changes}" "\n## [${VERSION}]" start)
if(start EQUAL -1)
  message(FATAL_ERROR "CHANGELOG.md has no section for ${VERSION}")
endif()
math(EXPR start "${start} + 1")
string(SUBSTRING "${changes}" ${start} -1 changes)
string(FIND "${changes}" "\n" end)                              # after its heading
string(SUBSTRING "${changes}" ${end} -1 changes)
string(FIND "${changes}" "\n## " end)                           # before older versions
string(SUBSTRING "${changes}" 0 ${end} changes)
string(REGEX REPLACE "\n*### [^\n]*\n+" "\n" changes "${changes}")
string(REGEX REPLACE "\n  ([^ ])" "\n    \\1" changes "${changes}")
string(REGEX REPLACE "(^|\n)- " "\\1  * " changes "${changes}")
string(STRIP "${changes}" changes)
string(REPLACE "/" "-" day "${RELEASE_DATE}")
execute_process(COMMAND date -u -d "${day}" "+%a, %d %b %Y %H:%M:%S +0000"
                OUTPUT_VARIABLE stamp OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
file(WRITE ${OUTPUT_DIR}/changelog
     "snipdir (${VERSION}) unstable; urgency=medium\n\n  ${changes}\n\n"
     " -- ${authors} <${CONTACT}>  ${stamp}\n")

# The copyright file, with the licence text that follows the copyright line.
file(READ ${SOURCE_DIR}/LICENSE licence)
string(REGEX REPLACE "^.*\nCopyright [^\n]*\n\n" "" licence "${licence}")
string(STRIP "${licence}" licence)
string(REPLACE "\n\n" "\n.\n" licence "${licence}")
string(REPLACE "\n" "\n " licence "${licence}")
file(WRITE ${OUTPUT_DIR}/copyright
     "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
     "Upstream-Name: snipdir\n"
     "Upstream-Contact: ${authors} <${CONTACT}>\n\n"
     "Files: *\n"
     "Copyright: 2026 ${authors}\n"
     "License: MIT\n\n"
     "License: MIT\n ${licence}\n")
