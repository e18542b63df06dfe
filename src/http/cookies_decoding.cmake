target_sources(melvara_http PRIVATE cookies.cpp)
target_link_libraries(melvara_http PUBLIC melvara_text)
