# Installing the doromi tool like any other (`cmake --install build/native
# --prefix P`) and packing it for Debian (`cpack -G DEB`, scripts/package).
# The tool finds the stub at ../share/doromi/ from its own folder, so these
# destinations are fixed relative to the prefix.
set(DOROMI_STUB ${DOROMI_OUT_DIR}/doromi-sfx.exe)

# The stub is the one the cross build made and checked; the native build
# only copies it, so an install before scripts/build has made it fails here
# with the reason rather than with a copy error.
string(CONFIGURE [[
  if(NOT EXISTS "@DOROMI_STUB@")
    message(FATAL_ERROR "the stub @DOROMI_STUB@ is missing: scripts/build cross-builds and checks it before installing")
  endif()
  file(SIZE "@DOROMI_STUB@" stub_size)
  if(NOT stub_size EQUAL @DOROMI_STUB_IMAGE_SIZE@)
    message(FATAL_ERROR "the stub @DOROMI_STUB@ is ${stub_size} bytes, not @DOROMI_STUB_IMAGE_SIZE@: rebuild it with scripts/build")
  endif()
]] DOROMI_CHECK_STUB @ONLY)
install(CODE "${DOROMI_CHECK_STUB}")
install(TARGETS doromi RUNTIME DESTINATION bin)
install(FILES ${DOROMI_STUB} DESTINATION share/doromi)

# Compressed, as Debian keeps manual pages; man reads it either way.
install(FILES ${DOROMI_GENERATED_DIR}/doromi.1.gz DESTINATION share/man/man1)

set(CPACK_PACKAGE_NAME doromi)
set(CPACK_PACKAGE_VENDOR "Doromi developers")
set(CPACK_PACKAGE_CONTACT "Doromi developers <doromi@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "makes self-extracting ZIP files for Windows")
set(CPACK_PACKAGE_DESCRIPTION [[
doromi builds, inspects and extracts self-extracting ZIP files for
Windows: a small 32-bit Windows stub with a Korean interface, followed by
a settings block and a ZIP archive (stored or deflated, optionally
AES-encrypted).]])
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_OUTPUT_FILE_PREFIX ${DOROMI_OUT_DIR})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# dpkg-shlibdeps finds the libraries the tool links (zlib, libdeflate,
# Nettle, libarchive, the C library).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Signing, and naming a signed file's signer, run osslsigncode.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS osslsigncode)
include(CPack)
