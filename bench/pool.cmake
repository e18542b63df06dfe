# pool benchmark: the thread pool against a plain mutex + condition-variable pool
find_package(benchmark REQUIRED)
add_executable(pool_bench pool_bench.cpp)
target_link_libraries(pool_bench PRIVATE melvara_common melvara_threadpool benchmark::benchmark)
