# Builds the check target of the fixture project clean, then once per planted fault, and
# fails unless the clean tree passes and every fault fails the check with its own words.
#   cmake -DFIXTURE=<dir> -DWORK=<dir> -DLAYERS_MODULE=<Layers.cmake> -DGENERATOR=<g>
#         -DCXX=<compiler> -P LayerCheckTest.cmake
cmake_minimum_required(VERSION 3.25)

set(source ${WORK}/source)
set(build ${WORK}/build)
file(REMOVE_RECURSE ${WORK})
file(COPY ${FIXTURE}/ DESTINATION ${source})

set(failures "")

# Configures with the extra arguments given; sets configure_rc and configure_out.
function(configure_fixture)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S ${source} -B ${build} -G ${GENERATOR} -DCMAKE_CXX_COMPILER=${CXX}
            -DLAYERS_MODULE=${LAYERS_MODULE} ${ARGN}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  set(configure_rc ${rc} PARENT_SCOPE)
  set(configure_out "${out}" PARENT_SCOPE)
endfunction()

# Builds the check; sets check_rc and check_out.
function(build_check)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${build} --target check_layers
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  set(check_rc ${rc} PARENT_SCOPE)
  set(check_out "${out}" PARENT_SCOPE)
endfunction()

configure_fixture()
if(NOT configure_rc EQUAL 0)
  message(FATAL_ERROR "The clean fixture does not configure:\n${configure_out}")
endif()
build_check()
if(NOT check_rc EQUAL 0)
  message(FATAL_ERROR "The check fails on the clean fixture:\n${check_out}")
endif()

# Each case: a name, the fixture file it replaces, its new text, and what the check must say.
set(case_names "")
macro(add_case name file text expected)
  list(APPEND case_names ${name})
  set(case_${name}_file ${file})
  set(case_${name}_text "${text}")
  set(case_${name}_expected "${expected}")
endmacro()

add_case(relative_include core/net/Socket.h
  "#pragma once\n#include \"../queries/Count.h\"\n"
  "core/net/Socket.h: #include \"../queries/Count.h\"\n *a relative include leaves the include root of the net layer")
add_case(header_only_layer_includes_upward core/sys/Handle.h
  "#pragma once\n#include \"core/net/Socket.h\"\nstruct Handle { int fd = -1; };\n"
  "core/sys/Handle.h: #include \"core/net/Socket.h\"\n *the sys layer does not stand on net; it may include: sys")
add_case(source_includes_upward core/net/Socket.cpp
  "#include \"core/queries/Count.h\"\nint socketFd(const Socket& socket) { return socket.handle.fd; }\n"
  "the net layer does not stand on queries; it may include: net, sys")
add_case(include_through_a_macro core/sys/Handle.h
  "#pragma once\n#define FIXTURE_UP \"core/net/Socket.h\"\n#include FIXTURE_UP\nstruct Handle { int fd = -1; };\n"
  "core/net/Socket.h: No such file or directory")
add_case(header_not_self_contained core/net/Socket.h
  "#pragma once\n#include \"core/sys/Handle.h\"\nstruct Socket { Handle handle; std::string peer; };\n"
  "Socket.h:3:[0-9]+: error: .*string.* does not name a type")
add_case(header_without_guard core/sys/Handle.h
  "struct Handle { int fd = -1; };\n"
  "redefinition of .*struct Handle")

foreach(name IN LISTS case_names)
  set(path ${source}/${case_${name}_file})
  file(READ ${path} original)
  file(WRITE ${path} "${case_${name}_text}")
  build_check()
  file(WRITE ${path} "${original}")
  if(check_rc EQUAL 0)
    string(APPEND failures "\n${name}: the check passed")
  elseif(NOT check_out MATCHES "${case_${name}_expected}")
    string(APPEND failures "\n${name}: the check failed without saying /${case_${name}_expected}/:\n${check_out}")
  endif()
endforeach()

# A PUBLIC link to a layer above would hand its include root down: configuring must refuse.
configure_fixture(-DFIXTURE_UPWARD_LINK=ON)
if(configure_rc EQUAL 0)
  string(APPEND failures "\nupward_link: the fixture configured")
elseif(NOT configure_out MATCHES "fixture_net links fixture_queries, but the net layer stands only on")
  string(APPEND failures "\nupward_link: configuring failed without naming the link:\n${configure_out}")
endif()

if(failures)
  message(FATAL_ERROR "The layer check missed faults:${failures}")
endif()
