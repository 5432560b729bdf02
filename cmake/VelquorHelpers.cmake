# The warnings of every target. They are errors only where our own scripts build
# (VELQUOR_WERROR): another compiler or other flags may warn where ours does not, and a
# plain configure must still give a build.
function(velquor_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra)
    if(VELQUOR_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

# Common settings of every target of the client.
function(velquor_target_defaults target)
    velquor_warnings(${target})
    target_compile_definitions(${target} PRIVATE
        QT_NO_KEYWORDS QT_USE_QSTRINGBUILDER QT_NO_CAST_FROM_BYTEARRAY
        VELQUOR_VERSION_TEXT="${PROJECT_VERSION}")
    if(VELQUOR_SANITIZE)
        target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer
                                                 -fno-sanitize-recover=undefined)
        target_link_options(${target} PRIVATE -fsanitize=address,undefined)
    endif()
endfunction()

# velquor_library(<name> UI|NOUI DIR <dir> [DEPS <targets>...])
# One static library of all sources directly in <dir>. Sources are globbed so that
# a new file needs no edit of any CMakeLists.txt.
function(velquor_library name kind)
    cmake_parse_arguments(ARG "" "DIR" "DEPS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${ARG_DIR}/*.cpp ${ARG_DIR}/*.h)
    file(GLOB forms CONFIGURE_DEPENDS ${ARG_DIR}/*.ui)
    if(NOT sources)
        message(FATAL_ERROR "${name}: no sources in ${ARG_DIR}")
    endif()
    add_library(${name} STATIC ${sources} ${forms})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
    velquor_target_defaults(${name})
    if(kind STREQUAL "UI")
        target_link_libraries(${name} PUBLIC velquor_qt_ui)
        target_precompile_headers(${name} REUSE_FROM velquor_pch_ui)
    else()
        target_link_libraries(${name} PUBLIC velquor_qt_base)
        target_precompile_headers(${name} REUSE_FROM velquor_pch_base)
    endif()
endfunction()

# velquor_test(<name> UI|NOUI DIR <dir> [DEPS <targets>...])
# One GoogleTest executable of all sources in <dir>; every test case is its own CTest test.
function(velquor_test name kind)
    cmake_parse_arguments(ARG "" "DIR;TIMEOUT" "DEPS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${ARG_DIR}/*.cpp ${ARG_DIR}/*.h)
    if(NOT sources)
        return()
    endif()
    add_executable(${name} ${sources})
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} velquor_testsupport GTest::gtest GTest::gmock)
    velquor_target_defaults(${name})
    if(kind STREQUAL "UI")
        target_link_libraries(${name} PRIVATE velquor_qt_ui)
        target_precompile_headers(${name} REUSE_FROM velquor_pch_ui)
        set(labels ui)
    else()
        # UI suites bring their own main with a QApplication.
        target_link_libraries(${name} PRIVATE velquor_qt_base velquor_testmain)
        target_precompile_headers(${name} REUSE_FROM velquor_pch_base)
        set(labels noui)
    endif()
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    include(GoogleTest)
    # Index names for parameterised cases: printed values may hold addresses that differ per run.
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES
        PROPERTIES LABELS "${labels}" TIMEOUT ${ARG_TIMEOUT}
                   ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LANG=C.UTF-8")
endfunction()
