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
readrace_gzip_copy(${PROJECT_SOURCE_DIR}/docs/man/readrace_seq.1
  ${readrace_docs}/man1/readrace_seq.1.gz)
# Both programs share one page; the link is what Debian's policy prefers to a .so request.
file(CREATE_LINK readrace_seq.1.gz ${readrace_docs}/man1/readrace_nobuf.1.gz SYMBOLIC)
set(readrace_doc_outputs ${readrace_docs}/changelog.gz ${readrace_docs}/man1/readrace_seq.1.gz)

# The companions' pages come from their own --help, so they never drift from it.
set(readrace_companion_names
  "readrace_prepare=write the ten files that readrace_seq and readrace_nobuf read"
  "readrace_compare=run readrace_seq and readrace_nobuf again and again and say which reads faster")
find_program(READRACE_HELP2MAN help2man)
if(CMAKE_CXX_FLAGS MATCHES "-fsanitize")
  # Sanitizer builds are tested, never packed: their --help is not run while building, and
  # they install without the companions' pages.
elseif(READRACE_HELP2MAN AND NOT CMAKE_CROSSCOMPILING)
  foreach(entry IN LISTS readrace_companion_names)
    string(REGEX MATCH "^[^=]+" tool "${entry}")
    string(REGEX REPLACE "^[^=]+=" "" name "${entry}")
    set(page ${readrace_docs}/man1/${tool}.1)
    add_custom_command(OUTPUT ${page}.gz
      COMMAND ${READRACE_HELP2MAN} --no-info --section=1 --name=${name}
        --include=${PROJECT_SOURCE_DIR}/docs/man/companions.h2m --output=${page}
        $<TARGET_FILE:${tool}>
      COMMAND ${READRACE_GZIP} -9nf ${page}
      DEPENDS ${tool} ${PROJECT_SOURCE_DIR}/docs/man/companions.h2m
      VERBATIM)
    list(APPEND readrace_doc_outputs ${page}.gz)
  endforeach()
  install(FILES ${readrace_docs}/man1/readrace_prepare.1.gz
    ${readrace_docs}/man1/readrace_compare.1.gz DESTINATION share/man/man1)
else()
  message(STATUS "help2man not found: no manual pages for the companions, and cpack will stop "
    "(apt-get install help2man)")
  install(CODE "message(FATAL_ERROR \"The companions' manual pages were not made, since \"
    \"help2man was missing when this tree was configured: apt-get install help2man, then run \"
    \"cmake again\")")
endif()
add_custom_target(package_docs ALL DEPENDS ${readrace_doc_outputs})

install(FILES ${readrace_docs}/man1/readrace_seq.1.gz ${readrace_docs}/man1/readrace_nobuf.1.gz
  DESTINATION share/man/man1)
install(FILES ${PROJECT_SOURCE_DIR}/docs/debian/copyright ${readrace_docs}/changelog.gz
  DESTINATION ${READRACE_INSTALL_DOC})
