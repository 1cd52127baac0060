# What the Windows zip holds (cpack in build-windows): the program, its
# manual as a web page and as text, how to start, and the licence.
find_program(MANDOC mandoc REQUIRED)
set(windows_docs ${CMAKE_CURRENT_BINARY_DIR}/windows-docs)
add_custom_command(OUTPUT ${windows_docs}/rowsmith-convert.html ${windows_docs}/rowsmith-convert.txt
  COMMAND ${CMAKE_COMMAND} -E make_directory ${windows_docs}
  COMMAND ${MANDOC} -Thtml ${CMAKE_CURRENT_SOURCE_DIR}/docs/rowsmith-convert.1 > ${windows_docs}/rowsmith-convert.html
  COMMAND sh -c "${MANDOC} -Tascii '${CMAKE_CURRENT_SOURCE_DIR}/docs/rowsmith-convert.1' | sed 's/.\\x08//g' > '${windows_docs}/rowsmith-convert.txt'"
  DEPENDS docs/rowsmith-convert.1 VERBATIM)
add_custom_target(windows_docs ALL DEPENDS ${windows_docs}/rowsmith-convert.html ${windows_docs}/rowsmith-convert.txt)

install(TARGETS rowsmith-convert RUNTIME DESTINATION .)
install(FILES ${windows_docs}/rowsmith-convert.html ${windows_docs}/rowsmith-convert.txt
        packaging/windows/README.txt DESTINATION .)
install(FILES packaging/copyright DESTINATION . RENAME LICENSE.txt)
set(CPACK_GENERATOR "ZIP")
set(CPACK_PACKAGE_NAME "rowsmith-convert")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_SYSTEM_NAME "windows-x64")
set(CPACK_STRIP_FILES ON)
include(CPack)
