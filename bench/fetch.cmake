# fetch benchmark: 500 sequential page fetches with FetchWithWinHttp from a
# local HTTPS server, beside the curl tool fetching the same URLs over one
# reused connection and over a new connection per URL. Needs the test fixtures.
if(TARGET melvara_test_support)
  add_executable(fetch_bench fetch_bench.cpp)
  target_link_libraries(fetch_bench PRIVATE
    melvara_common melvara_http melvara_platform_net melvara_test_support)
endif()
