# Writes the header that records the build: when it was made (UTC) and, in a
# git checkout, the version-control record of the source. Run by the build
# whenever a library of the program was rebuilt or the checkout moved:
# cmake -DSRC=source-dir -DOUT=file -P build_info.cmake
function(dig out)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${SRC} RESULT_VARIABLE rc
                  OUTPUT_VARIABLE text OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(rc EQUAL 0)
    set(${out} "${text}" PARENT_SCOPE)
  else()
    set(${out} "" PARENT_SCOPE)
  endif()
endfunction()

# A C++ string literal of text.
function(literal out text)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  set(${out} "\"${text}\"" PARENT_SCOPE)
endfunction()

# "2026, 03, 04, ..." without the leading zeros, which would read as octal.
function(decimal out text)
  string(REGEX REPLACE "(^| )0([0-9])" "\\1\\2" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

string(TIMESTAMP now "%Y, %m, %d, %H, %M, %S" UTC)
decimal(now "${now}")
set(git "{false, nullptr, nullptr, 0, {}, nullptr, nullptr}")
find_program(GIT git)
if(GIT)
  dig(commit ${GIT} rev-parse HEAD)
endif()
if(commit)
  dig(branch ${GIT} rev-parse --abbrev-ref HEAD)
  dig(tag ${GIT} describe --tags --abbrev=0)
  if(tag)
    dig(ahead ${GIT} rev-list --count ${tag}..HEAD)
    literal(tag "${tag}")
  else()
    dig(ahead ${GIT} rev-list --count HEAD)
    set(tag nullptr)
  endif()
  dig(date ${CMAKE_COMMAND} -E env TZ=UTC ${GIT} show -s --format=%cd "--date=format-local:%Y, %m, %d, %H, %M, %S" HEAD)
  decimal(date "${date}")
  dig(message ${GIT} show -s --format=%s HEAD)
  literal(branch "${branch}")
  literal(message "${message}")
  set(git "{true, ${branch}, ${tag}, ${ahead}, {${date}}, \"${commit}\", ${message}}")
endif()
file(WRITE ${OUT}.new "// Generated at build time by tools/build_info.cmake.
#define XEB_BUILD_DATE ${now}
#define XEB_BUILD_GIT ${git}
")
file(RENAME ${OUT}.new ${OUT})
