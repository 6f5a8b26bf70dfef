# Scans the files of one layer for includes that run the wrong way: a relative include
# that walks out of the layer's include root, and an include of a layer this one does not
# stand on. Run by the check target as
#   cmake -DLAYER=net -DREACH=net,text,sys -DPREFIXES=net=core/net,gui=gui,...
#         -DFILES=<file listing one path a line> -DSTAMP=<file> -P CheckIncludes.cmake
# Touches STAMP when every include is allowed; otherwise names each fault and fails.

cmake_minimum_required(VERSION 3.25)

string(REPLACE "," ";" reach "${REACH}")
string(REPLACE "," ";" prefixes "${PREFIXES}")
file(STRINGS "${FILES}" files)

set(faults "")
foreach(path IN LISTS files)
  file(STRINGS "${path}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "include[ \t]*[\"<]([^\">]*)[\">]")
      continue()
    endif()
    set(included "${CMAKE_MATCH_1}")
    if(included MATCHES "(^|/)\\.\\.(/|$)")
      string(APPEND faults "\n  ${path}: ${line}\n    a relative include leaves the include root of the ${LAYER} layer")
      continue()
    endif()
    foreach(pair IN LISTS prefixes)
      string(REPLACE "=" ";" pair "${pair}")
      list(GET pair 0 other)
      list(GET pair 1 include_as)
      string(LENGTH "${include_as}/" length)
      string(SUBSTRING "${included}" 0 ${length} start)
      if(start STREQUAL "${include_as}/" AND NOT other IN_LIST reach)
        string(REPLACE ";" ", " allowed "${reach}")
        string(APPEND faults "\n  ${path}: ${line}\n    the ${LAYER} layer does not stand on ${other}; it may include: ${allowed}")
      endif()
    endforeach()
  endforeach()
endforeach()

if(faults)
  message(FATAL_ERROR "Includes that run the wrong way:${faults}")
endif()
file(TOUCH "${STAMP}")
