# The self-extracting stub: a Windows GUI program whose padded image is
# exactly kStubImageSize bytes, and the end-to-end test programs. The
# product is the 32-bit build; the 64-bit build is its twin from the same
# sources, checked against the same budget so that a combined file made
# with it has its settings block at the same offset.
enable_language(RC)

# The manifest names the processor of the image, and through it which
# build of the common controls Windows loads into the process.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(DOROMI_MANIFEST_ARCH amd64)
else()
  set(DOROMI_MANIFEST_ARCH x86)
endif()
configure_file(ui/stub.manifest.in stub.manifest @ONLY)

set(DOROMI_STUB_SOURCES
    ${DOROMI_CORE_SOURCES}
    platform/win32/crypto_win32.cpp
    platform/win32/platform_win32.cpp
    platform/win32/wide_text.cpp
    startup/sfx_main.cpp
    ui/centre_window.cpp
    ui/folder_browser.cpp
    ui/main_dialog.cpp
    ui/member_list_win32.cpp
    ui/new_dir_dialog.cpp
    ui/question_dialogs.cpp
    ui/dialogs.rc
    ui/win32_frontend.cpp
)
# No C runtime start-up code (the entry is SfxEntry), no relocations (an
# executable loads at its preferred base), only the libraries named here.
# The entry symbol is decorated as stdcall on x86 only.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(DOROMI_ENTRY SfxEntry)
else()
  set(DOROMI_ENTRY _SfxEntry@0)
endif()

# A stub linked as `target` and finished as `image` in the output directory.
# Every build checks the budget, pads the image and checks for signatures.
# A separate output (not a post-build step) so that a failed check fails
# every later build too, until the image is fixed.
function(doromi_stub target image)
  add_executable(${target} WIN32 ${DOROMI_STUB_SOURCES})
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR})
  # Functions get sections of their own so that unused ones are dropped; data
  # does not: MinGW would then put zero-filled objects such as Sfx into .data,
  # where they take room in the image, instead of .bss.
  target_compile_options(${target} PRIVATE
      $<$<COMPILE_LANGUAGE:CXX>:-Os -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
          -ffunction-sections -flto -Wall -Wextra>)
  target_link_options(${target} PRIVATE -flto -Os -nostdlib -Wl,-e,${DOROMI_ENTRY} -Wl,--gc-sections
      -Wl,--disable-dynamicbase -Wl,--disable-reloc-section -s)
  # shell32: the folder browser, its item list's release and ShellExecuteW.
  target_link_libraries(${target} PRIVATE kernel32 user32 shell32 msvcrt gcc)
  # Linking with the C driver keeps libstdc++ out: any use of it fails the link.
  set_target_properties(${target} PROPERTIES LINKER_LANGUAGE C OUTPUT_NAME ${target}-unpadded)
  add_custom_command(OUTPUT ${DOROMI_OUT_DIR}/${image}
      COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/cmake/finish_stub.py
              $<TARGET_FILE:${target}> ${DOROMI_OUT_DIR}/${image} ${DOROMI_STUB_IMAGE_SIZE}
      DEPENDS ${target} ${CMAKE_SOURCE_DIR}/cmake/finish_stub.py
      VERBATIM)
  add_custom_target(${target}-image ALL DEPENDS ${DOROMI_OUT_DIR}/${image})
endfunction()

doromi_stub(doromi-sfx doromi-sfx.exe)

# Test copy of the stub for the end-to-end tests of long paths: it appends
# every path its file calls are given to the file DOROMI_PATH_LOG names
# (platform/win32/wide_text.cpp). The shipped stub has no such code.
doromi_stub(e2e-sfx-paths e2e-sfx-paths.exe)
target_compile_definitions(e2e-sfx-paths PRIVATE DOROMI_LOG_PATHS)

add_executable(e2e-driver tests/e2e/driver/driver.cpp)
target_compile_options(e2e-driver PRIVATE -municode -Os -Wall)
target_link_options(e2e-driver PRIVATE -municode -static -s)
set_target_properties(e2e-driver PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${DOROMI_OUT_DIR})

# Test helper for the end-to-end tests: a program that a combined file
# carries and names as its run command. It records how it was started.
add_executable(e2e-marker WIN32 tests/e2e/driver/marker.cpp)
target_compile_options(e2e-marker PRIVATE -municode -Os -Wall)
target_link_options(e2e-marker PRIVATE -municode -static -s)
set_target_properties(e2e-marker PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${DOROMI_OUT_DIR})

# Test helper for the end-to-end tests: a DLL that a test plants beside the
# stub under the name of a system DLL. Every process that loads it leaves a
# record beside it.
add_library(e2e-planted-dll SHARED tests/e2e/driver/planted_dll.cpp)
target_compile_options(e2e-planted-dll PRIVATE -Os -Wall)
target_link_options(e2e-planted-dll PRIVATE -static -s)
set_target_properties(e2e-planted-dll PROPERTIES PREFIX "" OUTPUT_NAME e2e-planted
    RUNTIME_OUTPUT_DIRECTORY ${DOROMI_OUT_DIR})

# The benchmark's floor: a bare program that writes the same files as the
# stub, decoding deflated members with the core's own decoder built with the
# stub's optimisation flags (bench/floor/bare_writer.cpp).
add_executable(bare-writer bench/floor/bare_writer.cpp
    decode/aes_ctr.cpp decode/crc32.cpp decode/decode_codes.cpp decode/decode_table.cpp
    decode/deflate_tables.cpp decode/inflate.cpp decode/member_io.cpp decode/zip_cipher.cpp
    platform/win32/crypto_win32.cpp platform/win32/platform_win32.cpp platform/win32/wide_text.cpp
    startup/sfx_globals.cpp util/long_path.cpp util/text.cpp)
target_include_directories(bare-writer PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(bare-writer PRIVATE -Os -Wall -Wextra)
target_link_options(bare-writer PRIVATE -static -s)
target_link_libraries(bare-writer PRIVATE shell32)
set_target_properties(bare-writer PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${DOROMI_OUT_DIR})
