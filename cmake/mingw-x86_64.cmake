# Cross toolchain for the 64-bit twin of the stub (and its test programs),
# which the end-to-end tests run on hosts that run no 32-bit code.
set(DOROMI_MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
