# Cross toolchain for the 32-bit Windows stub (the product) and its test programs.
set(DOROMI_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
