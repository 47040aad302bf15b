# The message template and its translations, run as a script:
#
#   cmake -DACTION=update -DSOURCE_DIR=... -DWORK_DIR=... -DVERSION=... -P po/messages.cmake
#       extracts po/velmar-pelk.pot from the sources and merges it into every
#       po/LANG.po (the file is left alone when only its date would change);
#   -DACTION=check-template  fails when po/velmar-pelk.pot differs from a
#       fresh extraction;
#   -DACTION=check-translation -DPO=po/LANG.po  fails when LANG.po misses,
#       leaves untranslated or marks fuzzy any message of the template, or
#       when msgfmt --check finds a fault.
#
# The texts are those passed to tr(), translatable(), printAndLog() and
# announce() in src/, and to translate() and translatable() in the stand-in
# libkiv (platform/libkiv), which prints in the same domain (tests left out). The template lists messages sorted,
# with file names but no line numbers, so that moving code does not change it.
cmake_minimum_required(VERSION 3.25)

set(template ${SOURCE_DIR}/po/velmar-pelk.pot)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE output
                  ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${ARGV0} failed (${status}):\n${output}")
  endif()
  set(output "${output}" PARENT_SCOPE)
endfunction()

# The template text without its creation date, which changes on every run.
function(read_without_date file variable)
  file(STRINGS ${file} lines)
  list(FILTER lines EXCLUDE REGEX "^\"POT-Creation-Date: ")
  set(${variable} "${lines}" PARENT_SCOPE)
endfunction()

function(extract output)
  # The stand-in libkiv prints the parameter commands' texts in the same domain.
  file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/src/*.cc ${SOURCE_DIR}/src/*.h
       ${SOURCE_DIR}/platform/libkiv/*.cc ${SOURCE_DIR}/platform/libkiv/*.h)
  list(FILTER sources EXCLUDE REGEX "(_test|_test_support|_fuzz)\\.(cc|h)$|/test_[^/]*$")
  list(SORT sources)
  file(MAKE_DIRECTORY ${WORK_DIR})
  set(list_file ${WORK_DIR}/message-sources.txt)
  list(JOIN sources "\n" listing)
  file(WRITE ${list_file} "${listing}\n")
  run(xgettext --directory=${SOURCE_DIR} --files-from=${list_file} --output=${output}
      --language=C++ --from-code=UTF-8 --sort-output --add-location=file
      --package-name=kivconfig --package-version=${VERSION} --msgid-bugs-address=
      --keyword --keyword=tr --keyword=translatable --keyword=printAndLog:2 --keyword=printAndLogSystemError:2 --keyword=announce
      --keyword=translate
      --flag=tr:1:pass-c-format --flag=translatable:1:pass-c-format
      --flag=translate:1:pass-c-format
      --flag=printAndLog:2:c-format)
endfunction()

if(ACTION STREQUAL "update" OR ACTION STREQUAL "check-template")
  set(fresh ${WORK_DIR}/velmar-pelk.pot)
  extract(${fresh})
  read_without_date(${fresh} fresh_text)
  set(committed_text "")
  if(EXISTS ${template})
    read_without_date(${template} committed_text)
  endif()
  if(ACTION STREQUAL "check-template")
    if(NOT fresh_text STREQUAL committed_text)
      execute_process(COMMAND diff -u ${template} ${fresh})
      message(FATAL_ERROR "po/velmar-pelk.pot is out of date with the sources: "
                          "run cmake --build BUILD_DIR --target pot and translate what is new")
    endif()
    return()
  endif()
  if(NOT fresh_text STREQUAL committed_text)
    file(COPY_FILE ${fresh} ${template})
    message(STATUS "Updated po/velmar-pelk.pot")
  endif()
  file(GLOB translations ${SOURCE_DIR}/po/*.po)
  foreach(po ${translations})
    run(msgmerge --quiet --update --backup=none --previous --sort-output ${po} ${template})
  endforeach()
elseif(ACTION STREQUAL "check-translation")
  run(msgfmt --check --statistics --output-file=/dev/null ${PO})
  if(NOT output MATCHES "^[0-9]+ translated messages?\\.\n$")
    message(FATAL_ERROR "${PO} is not complete: ${output}")
  endif()
  run(msgcmp ${PO} ${template})
else()
  message(FATAL_ERROR "ACTION must be update, check-template or check-translation")
endif()
