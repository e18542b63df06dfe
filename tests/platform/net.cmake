# The WinHttp functions and the request object on libcurl, against loopback servers.
melvara_add_test(platform_net_tests
  SOURCES winhttp_test.cpp request_object_test.cpp
  LIBS melvara_platform_net melvara_platform_core melvara_test_support melvara_test_main)
