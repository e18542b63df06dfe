# fetch benchmark
