# libFuzzer targets, built with clang when DOROMI_FUZZ is on (scripts/fuzz
# configures build/fuzz that way). The core is compiled again with the
# sanitizers and coverage instrumentation.
set(DOROMI_FUZZ_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined -g -O1)

get_target_property(DOROMI_FUZZ_CORE_SOURCES doromi-core SOURCES)
add_library(doromi-fuzz-core STATIC ${DOROMI_FUZZ_CORE_SOURCES})
target_include_directories(doromi-fuzz-core PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(doromi-fuzz-core PUBLIC ${NETTLE_LIBRARY})
target_compile_options(doromi-fuzz-core PUBLIC ${DOROMI_FUZZ_FLAGS}
                       PRIVATE -fsanitize=fuzzer-no-link)

foreach(target inflate settings walk)
  add_executable(${target}-fuzz tests/fuzz/${target}_fuzz.cpp tests/fuzz/fuzz_frontend.cpp)
  target_compile_options(${target}-fuzz PRIVATE -fsanitize=fuzzer)
  target_link_options(${target}-fuzz PRIVATE -fsanitize=fuzzer ${DOROMI_FUZZ_FLAGS})
  target_link_libraries(${target}-fuzz PRIVATE doromi-fuzz-core ZLIB::ZLIB)
endforeach()

# The inflate target again with the 32-bit fast path of the stub: its own
# copy of the code loop comes before the core library's at link time.
add_executable(inflate32-fuzz tests/fuzz/inflate_fuzz.cpp decode/decode_codes.cpp)
target_compile_definitions(inflate32-fuzz PRIVATE DOROMI_FAST_BITS_32)
target_compile_options(inflate32-fuzz PRIVATE -fsanitize=fuzzer)
target_link_options(inflate32-fuzz PRIVATE -fsanitize=fuzzer ${DOROMI_FUZZ_FLAGS})
target_link_libraries(inflate32-fuzz PRIVATE doromi-fuzz-core ZLIB::ZLIB)
