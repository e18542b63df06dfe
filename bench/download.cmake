# download benchmark: the real window, offscreen, downloading a generated
# playlist from the demo site; download_bench.sh runs it beside curl and aria2c.
add_executable(download_bench download_bench.cpp)
target_link_libraries(download_bench PRIVATE melvara_common melvara_app melvara_platform_net)
