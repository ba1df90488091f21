# SPDX-License-Identifier: GPL-3.0-or-later
#
# The one way a folder declares its GoogleTest executable:
#
#   corvane_add_test(<name>
#       SOURCES <file>...          the test sources (and their helper headers)
#       LIBS <target>...           libraries under test and GoogleTest
#       [DEFINITIONS <def>...]     compile definitions (paths of tools and folders)
#       [DEPENDS <target>...]      targets the tests run, built before them
#       [OFFSCREEN]                widget tests: Qt's offscreen platform
#       [PROPERTIES <prop> <value>...])  further properties of every discovered test
#
# Each test case of the executable becomes one CTest test. Value-parameterised
# cases keep their index or their generated name: printed values of structs
# hold addresses and would name the test differently in every build.

function(corvane_add_test name)
    cmake_parse_arguments(PARSE_ARGV 1 arg "OFFSCREEN" "" "SOURCES;LIBS;DEFINITIONS;DEPENDS;PROPERTIES")
    if(arg_UNPARSED_ARGUMENTS)
        message(FATAL_ERROR "corvane_add_test(${name}): unknown arguments ${arg_UNPARSED_ARGUMENTS}")
    endif()
    add_executable(${name} ${arg_SOURCES})
    target_link_libraries(${name} PRIVATE ${arg_LIBS})
    if(arg_DEFINITIONS)
        target_compile_definitions(${name} PRIVATE ${arg_DEFINITIONS})
    endif()
    if(arg_DEPENDS)
        add_dependencies(${name} ${arg_DEPENDS})
    endif()
    set(properties ${arg_PROPERTIES})
    if(arg_OFFSCREEN)
        list(APPEND properties ENVIRONMENT QT_QPA_PLATFORM=offscreen)
    endif()
    if(properties)
        gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES PROPERTIES ${properties})
    else()
        gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES)
    endif()
endfunction()

# A test run by a script or a tool rather than GoogleTest:
#
#   corvane_add_script_test(<name> COMMAND <command> <arg>... [PROPERTIES <prop> <value>...])
#
# Exit status 0 passes, 77 skips (a tool the check needs is not installed:
# the script prints which), anything else fails.
function(corvane_add_script_test name)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "COMMAND;PROPERTIES")
    if(arg_UNPARSED_ARGUMENTS OR NOT arg_COMMAND)
        message(FATAL_ERROR "corvane_add_script_test(${name}): give COMMAND, and PROPERTIES only")
    endif()
    add_test(NAME ${name} COMMAND ${arg_COMMAND})
    set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77 ${arg_PROPERTIES})
endfunction()
