# Native side: the core as a library over the POSIX platform seam, the unit
# tests, and the end-to-end tests that drive the cross-built stub under Wine.
enable_testing()
find_package(GTest REQUIRED)

set(DOROMI_WARNINGS -Wall -Wextra)

add_library(doromi-core STATIC
    ${DOROMI_CORE_SOURCES}
    platform/posix/platform_posix.cpp
)
target_include_directories(doromi-core PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(doromi-core PUBLIC -fexec-charset=CP949 PRIVATE ${DOROMI_WARNINGS})

add_executable(unit-tests
    tests/unit/platform_posix_test.cpp
    tests/unit/sfx_globals_test.cpp
)
target_link_libraries(unit-tests PRIVATE doromi-core GTest::gtest_main)
include(GoogleTest)
gtest_discover_tests(unit-tests DISCOVERY_TIMEOUT 30)

add_test(NAME build.finish_stub
         COMMAND ${Python3_EXECUTABLE} -m unittest -v tests/build/test_finish_stub.py
         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})

include(cmake/e2e.cmake)
