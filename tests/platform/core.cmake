# tests of melvara_platform_core
melvara_add_test(platform_core_tests
  SOURCES codepage_test.cpp com_test.cpp exit_routines_test.cpp file_system_test.cpp
  LIBS melvara_platform_core Threads::Threads)
