# The layering the tree relies on, checked when the build is configured:
#
# - The Qt-free libraries and programs (platform, engine, core, every
#   *_logic library, the planner tables, the web board, qbtool, qbweb,
#   qbstart) reach no Qt library, directly or through anything they link:
#   qbtool and qbweb must run where no Qt is installed.
# - The project's libraries form no cycle, and neither do the folders that
#   hold them (an area may use a lower area, never the other way round as
#   well).
# - Nothing outside tests/, bench/ and fuzz/ links a library of tests/: test
#   doubles never end up in a program.
#
# A violation stops the configure step with the chain of links that breaks
# the rule. Call qb_check_layering() once, after every target is defined.

set(QB_QT_FREE_TARGETS
  qb_platform qb_platform_testfs qb_engine qb_core qb_planner_tables qb_web_server
  qbtool qbweb qbstart)

# The direct link dependencies of target (its own and its interface's), with
# aliases resolved and LINK_ONLY / BUILD_INTERFACE wrappers taken off. Other
# generator expressions cannot be evaluated here; they are kept as text, so a
# Qt library named inside one is still seen.
function(_qb_link_deps target out)
  get_target_property(type ${target} TYPE)
  set(items)
  if(NOT type STREQUAL "INTERFACE_LIBRARY")
    get_target_property(own ${target} LINK_LIBRARIES)
    if(own)
      list(APPEND items ${own})
    endif()
  endif()
  get_target_property(iface ${target} INTERFACE_LINK_LIBRARIES)
  if(iface)
    list(APPEND items ${iface})
  endif()
  set(deps)
  foreach(item IN LISTS items)
    if(item MATCHES "^\\$<(LINK_ONLY|BUILD_INTERFACE|BUILD_LOCAL_INTERFACE):([^$<>]*)>$")
      set(item "${CMAKE_MATCH_2}")
    endif()
    if(TARGET "${item}")
      get_target_property(aliased "${item}" ALIASED_TARGET)
      if(aliased)
        set(item "${aliased}")
      endif()
    endif()
    list(APPEND deps "${item}")
  endforeach()
  list(REMOVE_DUPLICATES deps)
  set(${out} "${deps}" PARENT_SCOPE)
endfunction()

function(_qb_is_qt item out)
  if(item MATCHES "(^|[^A-Za-z])Qt[0-9]*::|libQt[0-9]|Qt[0-9]::")
    set(${out} TRUE PARENT_SCOPE)
  else()
    set(${out} FALSE PARENT_SCOPE)
  endif()
endfunction()

# The folder below the source root that defines a target ("engine/controls"
# counts as a folder of its own); empty for targets defined elsewhere.
function(_qb_area target out)
  set(area "")
  if(TARGET "${target}")
    get_target_property(imported "${target}" IMPORTED)
    if(NOT imported)
      get_target_property(dir "${target}" SOURCE_DIR)
      file(RELATIVE_PATH rel "${CMAKE_SOURCE_DIR}" "${dir}")
      if(rel MATCHES "^engine/controls")
        set(area "engine/controls")
      elseif(rel MATCHES "^([^/]+)")
        set(area "${CMAKE_MATCH_1}")
      endif()
    endif()
  endif()
  set(${out} "${area}" PARENT_SCOPE)
endfunction()

function(_qb_is_project_library target out)
  set(result FALSE)
  _qb_area("${target}" area)
  if(area)
    get_target_property(type "${target}" TYPE)
    if(type MATCHES "LIBRARY$")
      set(result TRUE)
    endif()
  endif()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# Walks breadth first from start along the edges that the function named
# next gives (next(node out) sets out to the nodes node leads to) and asks the
# function named test about every node reached (test(node out) sets out to why
# the node breaks a rule, empty when it does not). Both see the caller's
# variables. At the first broken rule, out_broken is set to its reason and
# out_chain to the path start, ..., node; both stay empty when none breaks.
function(_qb_walk start next test out_broken out_chain)
  cmake_language(CALL ${next} "${start}" queue)
  set(seen ${queue})
  foreach(n IN LISTS queue)
    string(MAKE_C_IDENTIFIER "${n}" key)
    set(parent_${key} "${start}")
  endforeach()
  while(queue)
    list(POP_FRONT queue node)
    cmake_language(CALL ${test} "${node}" broken)
    if(broken)
      set(chain "${node}")
      set(cur "${node}")
      while(TRUE)
        string(MAKE_C_IDENTIFIER "${cur}" key)
        set(up "${parent_${key}}")
        list(PREPEND chain "${up}")
        if(up STREQUAL start)
          break()
        endif()
        set(cur "${up}")
      endwhile()
      set(${out_broken} "${broken}" PARENT_SCOPE)
      set(${out_chain} "${chain}" PARENT_SCOPE)
      return()
    endif()
    cmake_language(CALL ${next} "${node}" more)
    foreach(n IN LISTS more)
      if(NOT n IN_LIST seen)
        list(APPEND seen "${n}")
        list(APPEND queue "${n}")
        string(MAKE_C_IDENTIFIER "${n}" key)
        set(parent_${key} "${node}")
      endif()
    endforeach()
  endwhile()
  set(${out_broken} "" PARENT_SCOPE)
  set(${out_chain} "" PARENT_SCOPE)
endfunction()

# What a target links, for the walk: nothing past a Qt library or a name that
# is no target.
function(_qb_next_link node out)
  set(deps)
  _qb_is_qt("${node}" node_is_qt)
  if(TARGET "${node}" AND NOT node_is_qt)
    _qb_link_deps("${node}" deps)
  endif()
  set(${out} "${deps}" PARENT_SCOPE)
endfunction()

# The rules for one library or program reached from start (the variables
# start, qt_free, start_is_library and start_is_production of
# _qb_check_target).
function(_qb_link_breaks node out)
  set(broken "")
  _qb_is_qt("${node}" node_is_qt)
  _qb_area("${node}" node_area)
  if(qt_free AND node_is_qt)
    set(broken "${start} must link no Qt library, but reaches ${node}")
  elseif(start_is_library AND node STREQUAL start)
    set(broken "library cycle")
  elseif(start_is_production AND node_area STREQUAL "tests")
    set(broken "${start} is built into programs but links the test library ${node}")
  endif()
  set(${out} "${broken}" PARENT_SCOPE)
endfunction()

# Walks everything start links and stops the configure step at the first
# broken rule.
function(_qb_check_target start qt_free)
  _qb_is_project_library("${start}" start_is_library)
  _qb_area("${start}" start_area)
  set(start_is_production TRUE)
  if(start_area MATCHES "^(tests|bench|fuzz)$")
    set(start_is_production FALSE)
  endif()
  _qb_walk("${start}" _qb_next_link _qb_link_breaks broken chain)
  if(broken)
    list(JOIN chain " -> " chain_text)
    message(FATAL_ERROR "Layering: ${broken}: ${chain_text}")
  endif()
endfunction()

# Every target defined in dir and below.
function(_qb_targets_below dir out)
  get_property(targets DIRECTORY "${dir}" PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY "${dir}" PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    _qb_targets_below("${sub}" more)
    list(APPEND targets ${more})
  endforeach()
  set(${out} "${targets}" PARENT_SCOPE)
endfunction()

# The folders a folder's libraries link (uses_<folder> of _qb_check_areas).
function(_qb_next_area area out)
  string(MAKE_C_IDENTIFIER "${area}" ak)
  set(${out} "${uses_${ak}}" PARENT_SCOPE)
endfunction()

# A folder reached from start again closes a circle.
function(_qb_area_breaks area out)
  if(area STREQUAL start)
    set(${out} "folder cycle" PARENT_SCOPE)
  else()
    set(${out} "" PARENT_SCOPE)
  endif()
endfunction()

# Folders must not depend on each other in a circle: from every folder's
# libraries, the folders reached through their links must not lead back.
function(_qb_check_areas targets)
  set(areas)
  foreach(t IN LISTS targets)
    _qb_is_project_library("${t}" is_lib)
    if(NOT is_lib)
      continue()
    endif()
    _qb_area("${t}" a)
    string(MAKE_C_IDENTIFIER "${a}" ak)
    _qb_link_deps("${t}" deps)
    foreach(d IN LISTS deps)
      _qb_is_project_library("${d}" d_is_lib)
      if(d_is_lib)
        _qb_area("${d}" b)
        if(NOT a STREQUAL b)
          list(APPEND uses_${ak} "${b}")
          list(APPEND via_${ak} "${t} -> ${d}")
        endif()
      endif()
    endforeach()
    list(APPEND areas "${a}")
  endforeach()
  list(REMOVE_DUPLICATES areas)
  foreach(start IN LISTS areas)
    _qb_walk("${start}" _qb_next_area _qb_area_breaks broken chain)
    if(broken)
      # Name the links between consecutive folders of the circle.
      set(links)
      list(LENGTH chain n)
      math(EXPR last "${n} - 2")
      foreach(i RANGE 0 ${last})
        math(EXPR j "${i} + 1")
        list(GET chain ${i} x)
        list(GET chain ${j} y)
        string(MAKE_C_IDENTIFIER "${x}" xk)
        foreach(v IN LISTS via_${xk})
          _qb_link_area_of_edge("${v}" target_area)
          if(target_area STREQUAL y)
            list(APPEND links "${v}")
            break()
          endif()
        endforeach()
      endforeach()
      list(JOIN chain " -> " chain_text)
      list(JOIN links ", " links_text)
      message(FATAL_ERROR "Layering: ${broken} ${chain_text} (${links_text})")
    endif()
  endforeach()
endfunction()

function(_qb_link_area_of_edge edge out)
  string(REGEX REPLACE "^.* -> " "" to "${edge}")
  _qb_area("${to}" a)
  set(${out} "${a}" PARENT_SCOPE)
endfunction()

function(qb_check_layering)
  _qb_targets_below("${CMAKE_SOURCE_DIR}" targets)
  foreach(t IN LISTS targets)
    set(qt_free FALSE)
    if(t IN_LIST QB_QT_FREE_TARGETS OR t MATCHES "_logic$")
      set(qt_free TRUE)
    endif()
    _qb_check_target("${t}" ${qt_free})
  endforeach()
  _qb_check_areas("${targets}")
endfunction()
