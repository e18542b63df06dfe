# The two HTTP clients: the request-object fetch and the WinHttp fetch.
target_sources(melvara_http PRIVATE
  header_lines.cpp
  request_object_fetch.cpp
  wide_text.cpp
  winhttp_fetch.cpp)
# The request object's header is part of the fetch's interface.
target_link_libraries(melvara_http PUBLIC melvara_platform_net PRIVATE melvara_platform_core)
