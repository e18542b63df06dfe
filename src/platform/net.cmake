# melvara_platform_net: the HTTP request object and the WinHttp functions, on libcurl.
# libcurl stays private: no public header of this target names it.
pkg_check_modules(LIBCURL REQUIRED IMPORTED_TARGET libcurl)

add_library(melvara_platform_net STATIC
  curl_global.cpp
  curl_transfer.cpp
  request_object.cpp
  winhttp_curl.cpp)
target_include_directories(melvara_platform_net PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(melvara_platform_net
  PRIVATE melvara_common PkgConfig::LIBCURL Threads::Threads
  PUBLIC melvara_platform_core)
