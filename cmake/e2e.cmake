# End-to-end tests: the cross-built stub and driver under Wine on Xvfb: the
# 32-bit product where the host runs 32-bit code, its 64-bit twin under the
# 64-bit loader where it does not (DOROMI_E2E_ARCH=win32|win64 forces the
# choice). One private Wine prefix is made per test run; the test modules
# share it, one at a time.
set(E2E_DIR ${CMAKE_SOURCE_DIR}/tests/e2e)

add_test(NAME e2e.prefix COMMAND ${Python3_EXECUTABLE} ${E2E_DIR}/harness.py make-prefix)
set_tests_properties(e2e.prefix PROPERTIES FIXTURES_SETUP wine_prefix RESOURCE_LOCK wine TIMEOUT 300)

# Which programs run where, with the host's answer faked (needs no Wine).
add_test(NAME e2e.arch_choice COMMAND ${Python3_EXECUTABLE} -m unittest -v test_arch_choice
         WORKING_DIRECTORY ${E2E_DIR})

foreach(module startup settings extraction roundtrip dialogs run_and_browse hardening names locales name_table faults large
    long_paths other_formats other_zips)
  add_test(NAME e2e.${module}
           COMMAND ${Python3_EXECUTABLE} -m unittest -v test_${module}
           WORKING_DIRECTORY ${E2E_DIR})
  set_tests_properties(e2e.${module} PROPERTIES
      FIXTURES_REQUIRED wine_prefix RESOURCE_LOCK wine TIMEOUT 300)
endforeach()
