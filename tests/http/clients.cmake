# The two HTTP clients, against loopback servers the tests start.
melvara_add_test(http_clients_tests
  SOURCES
    header_lines_test.cpp
    wide_text_test.cpp
    request_object_fetch_test.cpp
    winhttp_fetch_test.cpp
  LIBS melvara_http melvara_platform_net melvara_platform_core melvara_text
       melvara_test_support melvara_test_main)
