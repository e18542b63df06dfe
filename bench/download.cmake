# download benchmark
