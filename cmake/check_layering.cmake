# SPDX-License-Identifier: GPL-3.0-or-later
#
# Fails when a file below the widgets includes a header of shell/, or when a
# library below the widgets links a widget or GUI library.
#
#   cmake -DSOURCE_DIR=<source> -DCLOSURES=<file> -P check_layering.cmake

cmake_minimum_required(VERSION 3.25)

set(failed FALSE)
foreach(folder core image link sim ops cli)
    file(GLOB_RECURSE files ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp)
    foreach(file ${files})
        file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]shell/")
        if(lines)
            file(RELATIVE_PATH name ${SOURCE_DIR} ${file})
            message("${name} includes a header of shell/: ${lines}")
            set(failed TRUE)
        endif()
    endforeach()
endforeach()

file(STRINGS ${CLOSURES} closures)
if(NOT closures)
    message(FATAL_ERROR "no libraries listed in ${CLOSURES}")
endif()
list(LENGTH closures count)
foreach(line ${closures})
    string(REGEX MATCH "^([^:]+): (.*)$" matched "${line}")
    set(target ${CMAKE_MATCH_1})
    set(links ${CMAKE_MATCH_2})
    foreach(widgets Qt6::Widgets Qt6::Gui Qt6::Test)
        if(widgets IN_LIST links)
            message("${target} links ${widgets}")
            set(failed TRUE)
        endif()
    endforeach()
    foreach(lib ${links})
        if(lib MATCHES "_widgets$" OR lib STREQUAL "corvane_gui")
            message("${target} links the widget library ${lib}")
            set(failed TRUE)
        endif()
    endforeach()
endforeach()

if(failed)
    message(FATAL_ERROR "layering broken")
endif()
message("layering: ${count} libraries below the widgets, none includes shell/ or links a widget library")
