# tests of melvara_platform_threading
melvara_add_test(platform_threading_tests
  SOURCES
    completion_port_test.cpp
    auto_reset_event_test.cpp
    exec_memory_test.cpp
    native_thread_test.cpp
  LIBS melvara_platform_threading)
