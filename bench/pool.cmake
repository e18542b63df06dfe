# pool benchmark
