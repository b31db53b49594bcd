# What a release holds: the manual, the documents, the install rules and the
# Debian package. bash scripts/release.sh builds the packages: the .deb with
# CPack, the tarball and the zip from the installed tree.

include(GNUInstallDirs)

# The manual page, with the version and date of this release.
string(REPLACE "/" "-" SNIPDIR_MAN_DATE "${SNIPDIR_RELEASE_DATE}")
set(doc ${CMAKE_BINARY_DIR}/doc)
configure_file(doc/snipdir.1.in ${doc}/snipdir.1 @ONLY)
configure_file(doc/snipdir-fit.1.in ${doc}/snipdir-fit.1 @ONLY)

if(WIN32)
  # One flat folder, with the manual as plain text.
  find_program(GROFF groff REQUIRED)
  foreach(page snipdir snipdir-fit)
    add_custom_command(OUTPUT ${doc}/${page}.txt
      COMMAND ${GROFF} -man -Tascii -P-cbou ${doc}/${page}.1 > ${doc}/${page}.txt
      DEPENDS ${doc}/${page}.1 VERBATIM)
  endforeach()
  add_custom_target(manual ALL DEPENDS ${doc}/snipdir.txt ${doc}/snipdir-fit.txt)
  install(TARGETS ${SNIPDIR_PROGRAMS} RUNTIME DESTINATION .)
  install(FILES README.md LICENSE CHANGELOG.md ${doc}/snipdir.txt ${doc}/snipdir-fit.txt
          DESTINATION .)
  return()
endif()

# The manual compressed as Debian wants it, the companions' pages pointing
# at it, and the changelog and copyright in Debian's own forms.
foreach(page snipdir snipdir-fit)
  add_custom_command(OUTPUT ${doc}/${page}.1.gz
    COMMAND gzip -9n -c ${doc}/${page}.1 > ${doc}/${page}.1.gz
    DEPENDS ${doc}/${page}.1 VERBATIM)
endforeach()
foreach(program snipdir-preview snipdir-undo)
  file(CREATE_LINK snipdir.1.gz ${doc}/${program}.1.gz SYMBOLIC)
endforeach()
add_custom_command(OUTPUT ${doc}/changelog.gz ${doc}/copyright
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DOUTPUT_DIR=${doc}
          -DVERSION=${PROJECT_VERSION} -DRELEASE_DATE=${SNIPDIR_RELEASE_DATE}
          -DCONTACT=${SNIPDIR_CONTACT} -P ${CMAKE_SOURCE_DIR}/cmake/debian-docs.cmake
  COMMAND gzip -9n -f ${doc}/changelog
  DEPENDS CHANGELOG.md LICENSE cmake/debian-docs.cmake VERBATIM)
add_custom_target(manual ALL DEPENDS ${doc}/snipdir.1.gz ${doc}/snipdir-fit.1.gz
                  ${doc}/changelog.gz ${doc}/copyright)

install(TARGETS ${SNIPDIR_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${doc}/snipdir.1.gz ${doc}/snipdir-preview.1.gz ${doc}/snipdir-undo.1.gz
              ${doc}/snipdir-fit.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES README.md ${doc}/changelog.gz ${doc}/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "The snipdir authors")
set(CPACK_PACKAGE_CONTACT "The snipdir authors <${SNIPDIR_CONTACT}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "cut the over-long names in a directory")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The extended description; the summary above is its first line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "snipdir renames, in place, every entry of one directory whose name is longer
than a limit (12 by default) to a name of exactly that length, keeping a
file's extension, and resolves collisions with a hexadecimal counter. Every
rename is reported on one line that maps back to exactly one old and one new
name, and no entry is ever replaced.

snipdir-preview shows what snipdir would do and changes nothing;
snipdir-undo renames the entries of a saved report back; snipdir-fit cuts
the names of a whole tree so that every path fits a length (Windows' 260,
OneDrive's 400), with a preview and an undo.")
include(CPack)
