# The layers are what the targets link. A file may include the headers of its own target and of the
# libraries its target links, directly or through them, and nothing else of the project: a core file
# that includes an interface header, or the Linux process platform that the core implements through,
# fails the build here even where static linking would have let it through.
#
# Some lines run inside a target, or between a target and what it links for good reasons of its own;
# the rules below draw them by folder: a file under FILES (a pattern of paths from the source folder)
# includes nothing under INCLUDES unless EXCEPT allows it.
#
# At configure time lunorvale_check_layers() writes, for every target of the project, its files, the
# project libraries it links and where it looks for headers; at build time this file, run as a
# script, reads every #include "…" and #include <…> and resolves it as the compiler does: the quoted
# form from the including file's folder first, both forms from the target's header folders; an
# angle-bracket name found in none of them is the system's or a package's and not the project's.
#
# The same pass keeps QTest's checking macros out of GoogleTest programs. Inside a GoogleTest test
# QVERIFY, QCOMPARE, QTRY_… and their kind report to a QTest logger that is not running and then
# return: a failed check ends the test body silently and the test passes. A file of a target that
# links GoogleTest uses its assertions (with the tests' waitUntil and deliverDue); QTest's functions
# (mouse and key clicks) are fine. QTest's waits are called through tests/ui_kit/WindowWaits.h only,
# which bounds them as waitUntil is: their own default of 5 s is overrun on a busy machine.

set(layer_rules)
function(lunorvale_layer_rule name)
  cmake_parse_arguments(PARSE_ARGV 1 rule "" "FILES;INCLUDES;EXCEPT;BECAUSE" "")
  set(layer_rules ${layer_rules} ${name} PARENT_SCOPE)
  foreach(field IN ITEMS FILES INCLUDES EXCEPT BECAUSE)
    set(rule_${name}_${field} "${rule_${field}}" PARENT_SCOPE)
  endforeach()
endfunction()

# The views read the models and are given ports; of the platform they read fonts and icons only.
lunorvale_layer_rule(views FILES "^ui/" INCLUDES "^platform/"
                     EXCEPT "^platform/gui/(FontFiles|ApplicationIconLoader)\\.h$"
                     BECAUSE "a view reaches the desktop through the ports it is given")
# The models know no view, reach the desktop through the ports and read files through the file helpers.
lunorvale_layer_rule(models FILES "^app/(model|library|advice)/" INCLUDES "^(ui|platform)/"
                     EXCEPT "^platform/files/"
                     BECAUSE "a model knows no view and reaches the desktop through the ports")
# The kit knows nothing of the program it draws, nor of the windows and pages drawn with it.
lunorvale_layer_rule(kit FILES "^ui/kit/" INCLUDES "^(app|ui)/" EXCEPT "^ui/kit/"
                     BECAUSE "the kit draws values of its own")
# The preview's in-memory services are chosen by the shell alone: a view or a model that reached for
# them would behave differently in a screenshot than in the program.
lunorvale_layer_rule(preview_users FILES "^(ui|app/(model|library|advice))/" INCLUDES "^app/preview/"
                     BECAUSE "only the shell chooses the preview's services")
# The preview is the program on in-memory services: the models, the ports, the core and the file
# helpers, never the machine's processes or the desktop.
lunorvale_layer_rule(preview FILES "^app/preview/" INCLUDES "^(ui|platform)/" EXCEPT "^platform/files/"
                     BECAUSE "a preview runs on in-memory services, never on the machine's")
# The ports are interfaces and plain values over the core's values.
lunorvale_layer_rule(ports FILES "^app/ports/" INCLUDES "^(app|platform|ui)/" EXCEPT "^app/ports/"
                     BECAUSE "a port names no implementation")
# The platform draws nothing: a window it shows is the interface's, handed to it through a port.
lunorvale_layer_rule(platform FILES "^platform/" INCLUDES "^ui/"
                     BECAUSE "the platform draws no view; it is handed one through a port")
# The bounded network reply carries bytes for every service and knows none of them.
lunorvale_layer_rule(network FILES "^platform/network/" INCLUDES "^(app|core|platform|ui)/"
                     EXCEPT "^platform/network/"
                     BECAUSE "the network reply knows no service")

if(CMAKE_SCRIPT_MODE_FILE)
  # Script mode: cmake -DLAYERS=<list> -DSTAMP=<file> -DSOURCE_DIR=<folder> -P LayerCheck.cmake
  cmake_minimum_required(VERSION 3.25)
  file(STRINGS "${LAYERS}" records)
  # Which library each file belongs to.
  foreach(record IN LISTS records)
    string(REPLACE "|" ";" fields "${record}")
    list(GET fields 0 target)
    list(GET fields 1 kind)
    list(GET fields 2 files)
    string(REPLACE "," ";" files "${files}")
    if(kind STREQUAL "library")
      foreach(file IN LISTS files)
        string(MAKE_C_IDENTIFIER "${file}" key)
        set_property(GLOBAL APPEND PROPERTY "owner_${key}" ${target})
      endforeach()
    endif()
  endforeach()

  # QTest's checking macros, called; not QTest:: functions, nor a name that merely ends so.
  set(qtest_macro "(^|[^A-Za-z0-9_])(Q(VERIFY|COMPARE|TRY|FETCH|TEST)[A-Z0-9_]*|QFAIL|QSKIP|QEXPECT_FAIL)[ \t]*\\(")
  # QTest's waits, called.
  set(qtest_wait "QTest::(qWait[A-Za-z]*)[ \t]*\\(")
  set(problems)
  foreach(record IN LISTS records)
    string(REPLACE "|" ";" fields "${record}")
    list(GET fields 0 target)
    list(GET fields 2 files)
    list(GET fields 3 linked)
    list(GET fields 4 roots)
    list(GET fields 5 gtest)
    string(REPLACE "," ";" files "${files}")
    string(REPLACE "," ";" linked "${linked}")
    string(REPLACE "," ";" roots "${roots}")
    foreach(file IN LISTS files)
      if(NOT EXISTS "${file}")
        continue()
      endif()
      if(gtest)
        file(STRINGS "${file}" candidates REGEX "Q(VERIFY|COMPARE|TRY|FETCH|TEST|FAIL|SKIP|EXPECT_FAIL)|qWait")
        foreach(line IN LISTS candidates)
          # What a line comment says is no call.
          string(REGEX REPLACE "//.*$" "" code "${line}")
          string(STRIP "${line}" line)
          if(code MATCHES "${qtest_macro}")
            list(APPEND problems "${file}: ${CMAKE_MATCH_2} checks nothing in a GoogleTest program, use \
EXPECT_/ASSERT_ (with waitUntil or deliverDue): ${line}")
          elseif(NOT file MATCHES "/WindowWaits\\.h$" AND code MATCHES "${qtest_wait}")
            list(APPEND problems "${file}: QTest::${CMAKE_MATCH_1} is called outside tests/ui_kit/WindowWaits.h, \
whose waits all take the tests' bound (waitBound): use those: ${line}")
          endif()
        endforeach()
      endif()
      file(STRINGS "${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
      get_filename_component(here "${file}" DIRECTORY)
      file(RELATIVE_PATH file_in_sources "${SOURCE_DIR}" "${file}")
      set(file_rules)
      foreach(rule IN LISTS layer_rules)
        if(file_in_sources MATCHES "${rule_${rule}_FILES}")
          list(APPEND file_rules ${rule})
        endif()
      endforeach()
      foreach(line IN LISTS includes)
        if(NOT line MATCHES "^[ \t]*#[ \t]*include[ \t]*(\"([^\"]+)\"|<([^>]+)>)")
          continue()
        endif()
        # The quoted form looks beside the including file first; the angle-bracket form does not.
        if(CMAKE_MATCH_2)
          set(name "${CMAKE_MATCH_2}")
          set(search "${here}" ${roots})
        else()
          set(name "${CMAKE_MATCH_3}")
          set(search ${roots})
        endif()
        set(found)
        foreach(root IN LISTS search)
          if(EXISTS "${root}/${name}")
            get_filename_component(found "${root}/${name}" ABSOLUTE)
            break()
          endif()
        endforeach()
        if(NOT found)
          continue()
        endif()
        file(RELATIVE_PATH found_in_sources "${SOURCE_DIR}" "${found}")
        foreach(rule IN LISTS file_rules)
          if(found_in_sources MATCHES "${rule_${rule}_INCLUDES}" AND
             NOT (rule_${rule}_EXCEPT AND found_in_sources MATCHES "${rule_${rule}_EXCEPT}"))
            list(APPEND problems "${file}: includes \"${name}\", but ${rule_${rule}_BECAUSE}")
          endif()
        endforeach()
        string(MAKE_C_IDENTIFIER "${found}" key)
        get_property(owners GLOBAL PROPERTY "owner_${key}")
        if(NOT owners OR target IN_LIST owners)
          continue()
        endif()
        set(allowed FALSE)
        foreach(owner IN LISTS owners)
          if(owner IN_LIST linked)
            set(allowed TRUE)
          endif()
        endforeach()
        if(NOT allowed)
          string(REPLACE ";" " or " owners "${owners}")
          list(APPEND problems "${file}: includes \"${name}\" of ${owners}, which ${target} does not link")
        endif()
      endforeach()
    endforeach()
  endforeach()

  if(problems)
    list(JOIN problems "\n" text)
    message(FATAL_ERROR "Layering broken or a silent check:\n${text}")
  endif()
  file(TOUCH "${STAMP}")
  return()
endif()

# The project's own libraries that `target` links, directly or through others.
function(lunorvale_linked_libraries target out)
  set(seen)
  set(pending ${target})
  while(pending)
    list(POP_FRONT pending current)
    get_target_property(direct ${current} LINK_LIBRARIES)
    get_target_property(usage ${current} INTERFACE_LINK_LIBRARIES)
    foreach(item IN LISTS direct usage)
      # Private dependencies of static libraries are listed as $<LINK_ONLY:name>.
      string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" item "${item}")
      if(NOT TARGET "${item}" OR item IN_LIST seen)
        continue()
      endif()
      get_target_property(imported ${item} IMPORTED)
      if(imported)
        continue()
      endif()
      list(APPEND seen ${item})
      list(APPEND pending ${item})
    endforeach()
  endwhile()
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

# 1 when `target` or one of the project libraries it links (`linked`) links GoogleTest, else 0.
function(lunorvale_links_googletest target linked out)
  foreach(item IN ITEMS ${target} ${linked})
    get_target_property(direct ${item} LINK_LIBRARIES)
    get_target_property(usage ${item} INTERFACE_LINK_LIBRARIES)
    foreach(library IN LISTS direct usage)
      if(library MATCHES "^(\\$<LINK_ONLY:)?GTest::")
        set(${out} 1 PARENT_SCOPE)
        return()
      endif()
    endforeach()
  endforeach()
  set(${out} 0 PARENT_SCOPE)
endfunction()

# True for the project's own files and folders, false for generated ones and everything outside.
function(lunorvale_project_file path out)
  cmake_path(IS_PREFIX CMAKE_SOURCE_DIR "${path}" NORMALIZE in_sources)
  cmake_path(IS_PREFIX CMAKE_BINARY_DIR "${path}" NORMALIZE in_build)
  if(in_sources AND NOT in_build)
    set(${out} TRUE PARENT_SCOPE)
  else()
    set(${out} FALSE PARENT_SCOPE)
  endif()
endfunction()

# Call once, after every target is defined, with the folders whose targets are checked.
function(lunorvale_check_layers)
  set(targets)
  foreach(dir IN LISTS ARGN)
    get_property(found DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    list(APPEND targets ${found})
  endforeach()
  set(records)
  set(all_files)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type MATCHES "^(STATIC|OBJECT)_LIBRARY$")
      set(kind library)
    elseif(type STREQUAL "EXECUTABLE")
      set(kind program)
    else()
      continue()
    endif()
    get_target_property(source_dir ${target} SOURCE_DIR)
    get_target_property(sources ${target} SOURCES)
    set(files)
    foreach(source IN LISTS sources)
      get_filename_component(source "${source}" ABSOLUTE BASE_DIR "${source_dir}")
      lunorvale_project_file("${source}" inside)
      if(inside AND source MATCHES "\\.(cpp|h)$")
        list(APPEND files "${source}")
      endif()
    endforeach()
    lunorvale_linked_libraries(${target} linked)
    lunorvale_links_googletest("${target}" "${linked}" gtest)
    # Where the compiler looks for the project's headers: the target's own folders and those its
    # libraries publish.
    set(roots)
    foreach(item IN ITEMS ${target} ${linked})
      get_target_property(own ${item} INCLUDE_DIRECTORIES)
      get_target_property(published ${item} INTERFACE_INCLUDE_DIRECTORIES)
      foreach(root IN LISTS own published)
        lunorvale_project_file("${root}" inside)
        if(inside AND NOT root IN_LIST roots)
          list(APPEND roots "${root}")
        endif()
      endforeach()
    endforeach()
    if(NOT files)
      continue()
    endif()
    list(APPEND all_files ${files})
    string(REPLACE ";" "," files "${files}")
    string(REPLACE ";" "," linked "${linked}")
    string(REPLACE ";" "," roots "${roots}")
    list(APPEND records "${target}|${kind}|${files}|${linked}|${roots}|${gtest}")
  endforeach()
  list(REMOVE_DUPLICATES all_files)
  list(JOIN records "\n" text)
  file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/layers.txt CONTENT "${text}\n" @ONLY)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/layers.stamp
                     COMMAND ${CMAKE_COMMAND} -DLAYERS=${CMAKE_BINARY_DIR}/layers.txt
                             -DSTAMP=${CMAKE_BINARY_DIR}/layers.stamp -DSOURCE_DIR=${CMAKE_SOURCE_DIR}
                             -P ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
                     DEPENDS ${all_files} ${CMAKE_BINARY_DIR}/layers.txt ${CMAKE_CURRENT_FUNCTION_LIST_FILE}
                     COMMENT "Checking that every file includes only what its target links"
                     VERBATIM)
  add_custom_target(lunorvale_layers ALL DEPENDS ${CMAKE_BINARY_DIR}/layers.stamp)
endfunction()
