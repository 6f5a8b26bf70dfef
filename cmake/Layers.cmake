# The layers of the program and the check that keeps them honest.
#
# Every layer is one folder of headers reached through an include root of its own in the
# build tree, which holds nothing but that folder (as INCLUDE_AS, e.g. core/net). A layer
# names the layers it stands ON; it may include those, the layers they stand on, and
# itself, nothing else. The check target compiles every header of a layer alone with only
# those include roots, and scans every file of the layer for relative and upward includes,
# so that neither a header-only layer (never compiled on its own), a PUBLIC link (which hands
# its include roots to every user) nor a "../" include (which walks out of the root) lets an
# include that runs the wrong way build. It is part of the default build.
#
# Only the headers of a layer that another layer stands on are compiled alone: those are what
# the layers above build on. A top layer's headers (the windows, the command line) serve its
# own files, which compile them anyway; the scan still holds their includes. Compiling them
# alone was most of the check's cost, Qt's headers being large.
option(KALDRANI_CHECK_HEADERS "Compile every header below the top layers on its own" ON)

set(KALDRANI_LAYER_ROOT ${PROJECT_BINARY_DIR}/layers)
set(KALDRANI_LAYER_SCAN ${CMAKE_CURRENT_LIST_DIR}/CheckIncludes.cmake)

# Declares layer `name` from the folder DIR, included as INCLUDE_AS, standing ON the layers
# listed. EXTERNAL names imported targets whose headers the layer's headers use. Sets
# <out_root> to the layer's include root. Raises a configure error for an unknown ON layer.
function(kaldrani_layer name out_root)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "DIR;INCLUDE_AS" "ON;EXTERNAL")
  set(root ${KALDRANI_LAYER_ROOT}/${name})
  get_filename_component(parent ${root}/${arg_INCLUDE_AS} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(CREATE_LINK ${arg_DIR} ${root}/${arg_INCLUDE_AS} SYMBOLIC)
  foreach(below IN LISTS arg_ON)
    get_property(known GLOBAL PROPERTY KALDRANI_LAYER_${below}_ROOT SET)
    if(NOT known)
      message(FATAL_ERROR "Layer ${name} stands on ${below}, which is not declared before it")
    endif()
  endforeach()
  set_property(GLOBAL APPEND PROPERTY KALDRANI_LAYERS ${name})
  set_property(GLOBAL PROPERTY KALDRANI_LAYER_${name}_ROOT ${root})
  set_property(GLOBAL PROPERTY KALDRANI_LAYER_${name}_DIR ${arg_DIR})
  set_property(GLOBAL PROPERTY KALDRANI_LAYER_${name}_INCLUDE_AS ${arg_INCLUDE_AS})
  set_property(GLOBAL PROPERTY KALDRANI_LAYER_${name}_ON ${arg_ON})
  set_property(GLOBAL PROPERTY KALDRANI_LAYER_${name}_EXTERNAL ${arg_EXTERNAL})
  set(${out_root} ${root} PARENT_SCOPE)
endfunction()

# Records that `target` is built from layer `name`, so the check can hold its links to the
# layers below it.
function(kaldrani_layer_target name target)
  set_property(GLOBAL PROPERTY KALDRANI_LAYER_${name}_TARGET ${target})
  set_property(GLOBAL PROPERTY KALDRANI_LAYER_TARGET_OF_${target} ${name})
endfunction()

# Sets <out> to every layer `name` may include: itself and, transitively, what it stands on.
function(kaldrani_layer_reach name out)
  set(reach ${name})
  set(todo ${name})
  while(todo)
    list(POP_FRONT todo current)
    get_property(on GLOBAL PROPERTY KALDRANI_LAYER_${current}_ON)
    foreach(below IN LISTS on)
      if(NOT below IN_LIST reach)
        list(APPEND reach ${below})
        list(APPEND todo ${below})
      endif()
    endforeach()
  endwhile()
  set(${out} ${reach} PARENT_SCOPE)
endfunction()

# Adds the check target `check_layers` (built by default) for every declared layer.
# Raises a configure error when a layer's library links a layer it does not stand on.
function(kaldrani_layer_checks)
  add_custom_target(check_layers ALL)
  get_property(layers GLOBAL PROPERTY KALDRANI_LAYERS)
  set(prefixes "")
  foreach(name IN LISTS layers)
    get_property(include_as GLOBAL PROPERTY KALDRANI_LAYER_${name}_INCLUDE_AS)
    list(APPEND prefixes "${name}=${include_as}")
  endforeach()
  string(REPLACE ";" "," prefixes "${prefixes}")
  set(stood_on "")
  foreach(name IN LISTS layers)
    get_property(on GLOBAL PROPERTY KALDRANI_LAYER_${name}_ON)
    list(APPEND stood_on ${on})
  endforeach()
  foreach(name IN LISTS layers)
    kaldrani_layer_reach(${name} reach)
    get_property(dir GLOBAL PROPERTY KALDRANI_LAYER_${name}_DIR)
    get_property(include_as GLOBAL PROPERTY KALDRANI_LAYER_${name}_INCLUDE_AS)
    get_property(target GLOBAL PROPERTY KALDRANI_LAYER_${name}_TARGET)

    # A link to a layer it does not stand on would hand that layer's headers to this one.
    if(target)
      get_target_property(links ${target} LINK_LIBRARIES)
      get_target_property(interface_links ${target} INTERFACE_LINK_LIBRARIES)
      foreach(link IN LISTS links interface_links)
        if(TARGET "${link}")
          get_property(linked GLOBAL PROPERTY KALDRANI_LAYER_TARGET_OF_${link})
          if(linked AND NOT linked IN_LIST reach)
            string(REPLACE ";" ", " allowed "${reach}")
            message(FATAL_ERROR "${target} links ${link}, but the ${name} layer stands only on: ${allowed}")
          endif()
        endif()
      endforeach()
    endif()

    file(GLOB headers CONFIGURE_DEPENDS ${dir}/*.h)
    file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
    list(SORT headers)
    list(SORT sources)

    # Relative and upward includes, each named with its file.
    string(REPLACE ";" "," reach_list "${reach}")
    set(stamp ${KALDRANI_LAYER_ROOT}/check/${name}.scanned)
    set(list_file ${KALDRANI_LAYER_ROOT}/check/${name}.files)
    string(REPLACE ";" "\n" file_lines "${headers};${sources}")
    file(CONFIGURE OUTPUT ${list_file} CONTENT "${file_lines}\n" @ONLY)
    add_custom_command(OUTPUT ${stamp}
      COMMAND ${CMAKE_COMMAND} -DLAYER=${name} -DREACH=${reach_list} -DPREFIXES=${prefixes}
              -DFILES=${list_file} -DSTAMP=${stamp} -P ${KALDRANI_LAYER_SCAN}
      DEPENDS ${headers} ${sources} ${list_file} ${KALDRANI_LAYER_SCAN}
      COMMENT "Checking the includes of the ${name} layer"
      VERBATIM)
    add_custom_target(check_layer_${name}_includes DEPENDS ${stamp})
    add_dependencies(check_layers check_layer_${name}_includes)

    # Each header alone, twice (its guard must hold), with only the roots it may reach.
    if(headers AND KALDRANI_CHECK_HEADERS AND name IN_LIST stood_on)
      set(units "")
      foreach(header IN LISTS headers)
        get_filename_component(base ${header} NAME_WE)
        set(unit ${KALDRANI_LAYER_ROOT}/check/${name}/${base}.cpp)
        set(line "#include \"${include_as}/${base}.h\"\n")
        file(CONFIGURE OUTPUT ${unit} CONTENT "${line}${line}" @ONLY)
        list(APPEND units ${unit})
      endforeach()
      set(check check_layer_${name}_headers)
      add_library(${check} OBJECT EXCLUDE_FROM_ALL ${units})
      set(roots "")
      set(externals "")
      foreach(reached IN LISTS reach)
        get_property(reached_root GLOBAL PROPERTY KALDRANI_LAYER_${reached}_ROOT)
        get_property(reached_external GLOBAL PROPERTY KALDRANI_LAYER_${reached}_EXTERNAL)
        list(APPEND roots ${reached_root})
        list(APPEND externals ${reached_external})
      endforeach()
      target_include_directories(${check} PRIVATE ${roots})
      if(TARGET kaldrani_options)
        target_link_libraries(${check} PRIVATE kaldrani_options)
      endif()
      target_link_libraries(${check} PRIVATE ${externals})
      # The scan goes first, so that a wrong include is named before any compiler error.
      add_dependencies(${check} check_layer_${name}_includes)
      add_dependencies(check_layers ${check})
    endif()
  endforeach()
endfunction()
