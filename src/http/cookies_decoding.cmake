# Cookie merging and page text decoding.
target_sources(melvara_http PRIVATE cookies.cpp page_decoding.cpp)
target_link_libraries(melvara_http
  PUBLIC melvara_text melvara_regex
  PRIVATE melvara_platform_automation melvara_platform_core)
