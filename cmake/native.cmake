# Native side: the core as a library over the POSIX platform seam, the unit
# tests, and the end-to-end tests that drive the cross-built stub under Wine.
enable_testing()
find_package(GTest REQUIRED)
# zlib: the reference of the inflate tests, the fuzz targets and the
# benchmark, and the tool's streaming compressor. The stub never links it.
find_package(ZLIB REQUIRED)

set(DOROMI_WARNINGS -Wall -Wextra)

# A second native build (scripts/test makes it in build/sanitize) runs the
# unit tests under AddressSanitizer and UndefinedBehaviorSanitizer.
option(DOROMI_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(DOROMI_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# A third (scripts/coverage makes it in build/coverage, with clang) counts
# every region of the code the unit tests run, for the check that each
# error exit of the decoder is taken.
option(DOROMI_COVERAGE "Build with clang's source-based coverage" OFF)
if(DOROMI_COVERAGE)
  add_compile_options(-fprofile-instr-generate -fcoverage-mapping)
  add_link_options(-fprofile-instr-generate)
endif()

# The native front end's system calls and member list; the questions come
# with each program (the tool, the unit tests, the fuzz targets).
add_library(doromi-core STATIC
    ${DOROMI_CORE_SOURCES}
    platform/posix/crypto_posix.cpp
    platform/posix/native_names.cpp
    platform/posix/platform_posix.cpp
    ui/native/member_list_native.cpp
)
target_include_directories(doromi-core PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(doromi-core PRIVATE ${DOROMI_WARNINGS})
# The cryptography of AES-encrypted members comes from Nettle
# natively.
find_library(NETTLE_LIBRARY nettle REQUIRED)
target_link_libraries(doromi-core PUBLIC ${NETTLE_LIBRARY})

add_executable(unit-tests
    tests/unit/aes_test.cpp
    tests/unit/crc32_test.cpp
    tests/unit/damage_sweep_test.cpp
    tests/unit/decode_table_test.cpp
    tests/unit/deflate_streams.cpp
    tests/unit/extraction_test.cpp
    tests/unit/failing_close.cpp
    tests/unit/inflate_malformed_test.cpp
    tests/unit/inflate_test.cpp
    tests/unit/member_io_test.cpp
    tests/unit/member_list_test.cpp
    tests/unit/member_names_test.cpp
    tests/unit/member_run.cpp
    tests/unit/name_table.cpp
    tests/unit/password_forms_test.cpp
    tests/unit/paths_test.cpp
    tests/unit/platform_posix_test.cpp
    tests/unit/run_command_test.cpp
    tests/unit/scripted_frontend.cpp
    tests/unit/settings_test.cpp
    tests/unit/sfx_globals_test.cpp
    tests/unit/size_check_test.cpp
    tests/unit/subdirectory_test.cpp
    tests/unit/test_files.cpp
    tests/unit/text_test.cpp
    tests/unit/utf8_test.cpp
    tests/unit/zip_builder.cpp
    tests/unit/zip_cipher_test.cpp
)
target_link_libraries(unit-tests PRIVATE doromi-core GTest::gtest_main ZLIB::ZLIB)
# A failing close is injected through tests/unit/failing_close.h.
target_link_options(unit-tests PRIVATE -Wl,--wrap=close)
# The table of member names is shared with the tests of the stub under Wine.
target_compile_definitions(unit-tests PRIVATE DOROMI_TEST_DATA="${CMAKE_SOURCE_DIR}/tests/data"
                           DOROMI_MEMBER_NAMES="${CMAKE_SOURCE_DIR}/tests/data/member_names.tsv")
include(GoogleTest)
# Temporary files in memory where the machine has it: the damage sweeps make
# thousands of small trees, which a disk-backed /tmp makes slow.
if(IS_DIRECTORY /dev/shm)
  set(DOROMI_TEST_TMPDIR TMPDIR=/dev/shm)
endif()
gtest_discover_tests(unit-tests DISCOVERY_TIMEOUT 30 PROPERTIES ENVIRONMENT "${DOROMI_TEST_TMPDIR}")

# Checks of what the build makes: the stub finishing step, and the dialog
# templates, manifest and imports inside the finished image of the product
# and of its 64-bit twin.
add_test(NAME build.finish_stub
         COMMAND ${Python3_EXECUTABLE} -m unittest -v tests/build/test_finish_stub.py
         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
# The include stacks of the core and the tool (tests/build/test_layers.py
# prints their table), what scripts/coverage counts as an error exit of the
# decoder, and the tool's option tables against its help pages.
foreach(check layers error_exits option_tables)
  add_test(NAME build.${check}
           COMMAND ${Python3_EXECUTABLE} -m unittest -v test_${check}
           WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/build)
endforeach()
foreach(check dialog_template manifest imports)
  foreach(arch win32 win64)
    add_test(NAME build.${check}.${arch}
             COMMAND ${Python3_EXECUTABLE} -m unittest -v test_${check}
             WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/build)
    set_tests_properties(build.${check}.${arch} PROPERTIES ENVIRONMENT DOROMI_STUB_ARCH=${arch})
  endforeach()
endforeach()

include(cmake/e2e.cmake)

# The doromi command-line tool: builds and inspects combined files with the
# core. Its texts, like the core's, are UTF-8.
# libdeflate: the builder's whole-buffer compressor and the decoding
# benchmark's fastest reference.
find_library(LIBDEFLATE_LIBRARY deflate REQUIRED)
find_path(LIBDEFLATE_INCLUDE_DIR libdeflate.h REQUIRED)
add_library(libdeflate INTERFACE)
target_link_libraries(libdeflate INTERFACE ${LIBDEFLATE_LIBRARY})
target_include_directories(libdeflate INTERFACE ${LIBDEFLATE_INCLUDE_DIR})
# nlohmann/json (header-only) writes `doromi info --json`.
find_package(nlohmann_json 3.11 REQUIRED)
# libarchive reads the other archive formats `doromi build --from` packs, and
# the members of other archivers' methods that `build --zip` recompresses.
find_package(LibArchive REQUIRED)
# The tool's sources, folder by folder (README.md, Layout, for the folders' order).
set(DOROMI_TOOL_SOURCES
    tools/commands/build_command.cpp
    tools/commands/extract_command.cpp
    tools/commands/info_command.cpp
    tools/commands/self_check.cpp
    tools/common/core_state.cpp
    tools/common/file_access.cpp
    tools/common/text_encoding.cpp
    tools/doromi_main.cpp
    tools/input/archive_input.cpp
    tools/input/case_twins.cpp
    tools/input/central_directory.cpp
    tools/input/input_files.cpp
    tools/input/local_header_walk.cpp
    tools/input/member_decompression.cpp
    tools/input/name_rules.cpp
    tools/input/zip_input.cpp
    tools/output/console_frontend.cpp
    tools/output/output_file.cpp
    tools/output/progress.cpp
    tools/output/signing.cpp
    tools/zip_writer/member_encoding.cpp
    tools/zip_writer/member_encryption.cpp
    tools/zip_writer/member_reading.cpp
    tools/zip_writer/settings_block.cpp
    tools/zip_writer/zip_records.cpp
    tools/zip_writer/zip_writer.cpp
)
# The help texts compiled into the tool and its manual page come from one
# source, tools/help.txt, so that they cannot tell different stories.
set(DOROMI_GENERATED_DIR ${CMAKE_CURRENT_BINARY_DIR}/generated)
set(DOROMI_HELP_OUTPUTS ${DOROMI_GENERATED_DIR}/help_texts.h ${DOROMI_GENERATED_DIR}/doromi.1
    ${DOROMI_GENERATED_DIR}/doromi.1.gz)
add_custom_command(OUTPUT ${DOROMI_HELP_OUTPUTS}
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/cmake/make_help.py
            ${CMAKE_SOURCE_DIR}/tools/help.txt ${PROJECT_VERSION} ${DOROMI_GENERATED_DIR}
    DEPENDS ${CMAKE_SOURCE_DIR}/tools/help.txt ${CMAKE_SOURCE_DIR}/cmake/make_help.py
    VERBATIM)
add_custom_target(doromi-help ALL DEPENDS ${DOROMI_HELP_OUTPUTS})
add_executable(doromi ${DOROMI_TOOL_SOURCES})
add_dependencies(doromi doromi-help)
target_include_directories(doromi PRIVATE ${DOROMI_GENERATED_DIR})
target_compile_options(doromi PRIVATE ${DOROMI_WARNINGS})
target_link_libraries(doromi PRIVATE doromi-core ZLIB::ZLIB libdeflate nlohmann_json::nlohmann_json
                      LibArchive::LibArchive)
# The C++ runtime linked in: only the parts the tool uses are loaded, which
# keeps its resident memory about 1 MB lower than with the shared library.
target_link_options(doromi PRIVATE -static-libstdc++ -static-libgcc)
set_target_properties(doromi PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${DOROMI_OUT_DIR})
include(cmake/install.cmake)

# Tests of the tool: builds checked by other archivers, refusals, info.
# The install test installs and packs this build.
foreach(check build zip_input zip_corpus from_archive refusals info extract faults signing hostile install
              large from_large zip_memory)
  add_test(NAME tool.${check}
           COMMAND ${Python3_EXECUTABLE} -m unittest -v tests/tools/test_${check}.py
           WORKING_DIRECTORY ${CMAKE_SOURCE_DIR})
  set_tests_properties(tool.${check} PROPERTIES TIMEOUT 300 ENVIRONMENT
      "DOROMI_OUT_DIR=${DOROMI_OUT_DIR};DOROMI_BUILD_DIR=${CMAKE_BINARY_DIR}")
endforeach()
# The hostile-input tests walk 65,535 links and make slow, shimmed runs:
# they share no time with the end-to-end tests, whose Wine dialogs answer
# slowly on a loaded machine.
set_tests_properties(tool.hostile PROPERTIES RESOURCE_LOCK wine)
# A combined file of about 3 GiB is written, then extracted; a 7z of 1 GB
# is made, built from and extracted.
set_tests_properties(tool.large tool.from_large PROPERTIES TIMEOUT 900)
# An archive of 1 GiB is made, then rewritten under /usr/bin/time.
set_tests_properties(tool.zip_memory PROPERTIES TIMEOUT 900)

# The in-memory decoding benchmark that bench/bench.py runs (not a test).
add_executable(inflate-bench bench/inflate_bench.cpp)
target_compile_options(inflate-bench PRIVATE ${DOROMI_WARNINGS})
target_link_libraries(inflate-bench PRIVATE doromi-core ZLIB::ZLIB libdeflate)
set_target_properties(inflate-bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${DOROMI_OUT_DIR})

option(DOROMI_FUZZ "Build the libFuzzer targets (clang only)" OFF)
if(DOROMI_FUZZ)
  include(cmake/fuzz.cmake)
endif()
