# tests of cookies and page decoding
melvara_add_test(cookies_test SOURCES cookies_test.cpp LIBS melvara_http)
melvara_add_test(page_decoding_test SOURCES page_decoding_test.cpp
  LIBS melvara_http melvara_platform_automation melvara_platform_core Threads::Threads)
