# Native side: the core as a library over the POSIX platform seam, the unit
# tests, and the end-to-end tests that drive the cross-built stub under Wine.
enable_testing()
find_package(GTest REQUIRED)

set(DOROMI_WARNINGS -Wall -Wextra)

add_library(doromi-core STATIC
    ${DOROMI_CORE_SOURCES}
    platform/posix/native_names.cpp
    platform/posix/platform_posix.cpp
)
target_include_directories(doromi-core PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(doromi-core PUBLIC -fexec-charset=CP949 PRIVATE ${DOROMI_WARNINGS})

add_executable(unit-tests
    tests/unit/crc32_test.cpp
    tests/unit/paths_test.cpp
    tests/unit/platform_posix_test.cpp
    tests/unit/scripted_frontend.cpp
    tests/unit/settings_test.cpp
    tests/unit/sfx_globals_test.cpp
    tests/unit/size_check_test.cpp
    tests/unit/test_files.cpp
    tests/unit/text_test.cpp
    tests/unit/zip_cipher_test.cpp
)
target_link_libraries(unit-tests PRIVATE doromi-core GTest::gtest_main)
target_compile_definitions(unit-tests PRIVATE DOROMI_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/data")
include(GoogleTest)
gtest_discover_tests(unit-tests DISCOVERY_TIMEOUT 30)

# Checks of what the build makes: the stub finishing step and the dialog
# templates inside the finished image.
foreach(check finish_stub dialog_template)
  add_test(NAME build.${check}
           COMMAND ${Python3_EXECUTABLE} -m unittest -v tests/build/test_${check}.py
           WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
endforeach()

include(cmake/e2e.cmake)
