include(GoogleTest)

set(PLIMSY_TSAN_OPTIONS "" CACHE STRING "ThreadSanitizer options every test runs with (the tsan preset sets them)")

# plimsy_add_test(<area> LABEL <label> [SOURCES ...] [LIBS ...] [FILTER <gtest filter>] [X11] [TIMEOUT <s>]
#                 [LOCK <resource>] [ENVIRONMENT <VAR=value>...])
#
# The first call for an area builds the executable tests_<area> from SOURCES; later calls for the same
# area only register a further slice of its tests (chosen by FILTER) under another label.
# Discovery runs at test time, so listing a GUI test binary happens under scripts/test's bus and display.
# X11 tests run on the xcb platform of the Xvfb display and never two at once; tests naming the same LOCK
# (a shared resource such as the application's own keyring items) never run at once either, X11 or not.
function(plimsy_add_test area)
    cmake_parse_arguments(ARG "X11" "LABEL;FILTER;TIMEOUT;LOCK" "SOURCES;LIBS;ENVIRONMENT" ${ARGN})
    if(NOT ARG_LABEL)
        message(FATAL_ERROR "plimsy_add_test(${area}): LABEL is required")
    endif()
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    set(target tests_${area})

    if(ARG_SOURCES)
        add_executable(${target} ${ARG_SOURCES})
        target_link_libraries(${target} PRIVATE plimsy_defaults plimsy_test_main plimsy_test_support ${ARG_LIBS})
        # Precompiled, and so seen by every test source: readable printing of Qt values in failures.
        target_precompile_headers(${target} PRIVATE
            <gmock/gmock.h> <gtest/gtest.h> ${PROJECT_SOURCE_DIR}/tests/support/QtPrinters.h)
    elseif(NOT TARGET ${target})
        message(FATAL_ERROR "plimsy_add_test(${area}): the first call needs SOURCES")
    endif()

    set(properties LABELS ${ARG_LABEL} TIMEOUT ${ARG_TIMEOUT})
    set(locks ${ARG_LOCK})
    set(environment ${ARG_ENVIRONMENT})
    if(ARG_X11)
        list(APPEND locks x11)
        list(APPEND environment QT_QPA_PLATFORM=xcb)
    endif()
    # Two locks or variables are one value holding a list. It is split three times on its way to CTest (the
    # arguments here, the include file, the discovery script's call), so its separator is escaped three times over.
    if(environment)
        list(JOIN environment "\\\\\\\\\\\\\\\;" environment)
        list(APPEND properties ENVIRONMENT "${environment}")
    endif()
    if(PLIMSY_TSAN_OPTIONS)
        # Appended, so options given by the caller's TSAN_OPTIONS (a log_path, say) still hold.
        list(APPEND properties ENVIRONMENT_MODIFICATION "TSAN_OPTIONS=string_append::${PLIMSY_TSAN_OPTIONS}")
    endif()
    if(locks)
        list(JOIN locks "\\\\\\\\\\\\\\\;" locks)
        list(APPEND properties RESOURCE_LOCK "${locks}")
    endif()
    set(filter_args)
    if(ARG_FILTER)
        set(filter_args TEST_FILTER "${ARG_FILTER}")
    endif()
    gtest_discover_tests(${target}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        ${filter_args}
        PROPERTIES ${properties})
endfunction()
