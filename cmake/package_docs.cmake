# What the packages carry besides the programs. The zips: the licence beside the programs. The
# .deb and the tarball: Debian's copyright file, the changelog and a manual page for each
# program, compressed with gzip -9n (no name or time inside, so the same sources give the same
# bytes) as Debian expects.
if(WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${READRACE_INSTALL_DOC}
    RENAME LICENSE.txt)
  return()
endif()

set(readrace_docs ${CMAKE_BINARY_DIR}/package-docs)
file(MAKE_DIRECTORY ${readrace_docs}/man1)
find_program(READRACE_GZIP gzip REQUIRED)

# readrace_gzip_copy(SOURCE OUTPUT): OUTPUT (ending in .gz) made from SOURCE at build time.
function(readrace_gzip_copy source output)
  string(REGEX REPLACE "\\.gz$" "" plain ${output})
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${plain}
    COMMAND ${READRACE_GZIP} -9nf ${plain}
    DEPENDS ${source}
    VERBATIM)
endfunction()

readrace_gzip_copy(${PROJECT_SOURCE_DIR}/docs/debian/changelog ${readrace_docs}/changelog.gz)
set(readrace_doc_outputs ${readrace_docs}/changelog.gz)
# Every page is written by hand in docs/man: what --help cannot hold (exit status, files, how the
# verdict is reached) needs a page of its own. tools_test checks that each option of the
# companions' --help has its entry there, with the same default.
foreach(page readrace_seq readrace_prepare readrace_compare)
  readrace_gzip_copy(${PROJECT_SOURCE_DIR}/docs/man/${page}.1 ${readrace_docs}/man1/${page}.1.gz)
  list(APPEND readrace_doc_outputs ${readrace_docs}/man1/${page}.1.gz)
endforeach()
# Both programs share one page; the link is what Debian's policy prefers to a .so request.
file(CREATE_LINK readrace_seq.1.gz ${readrace_docs}/man1/readrace_nobuf.1.gz SYMBOLIC)
add_custom_target(package_docs ALL DEPENDS ${readrace_doc_outputs})

install(FILES ${readrace_docs}/man1/readrace_seq.1.gz ${readrace_docs}/man1/readrace_nobuf.1.gz
  ${readrace_docs}/man1/readrace_prepare.1.gz ${readrace_docs}/man1/readrace_compare.1.gz
  DESTINATION share/man/man1)
install(FILES ${PROJECT_SOURCE_DIR}/docs/debian/copyright ${readrace_docs}/changelog.gz
  DESTINATION ${READRACE_INSTALL_DOC})
