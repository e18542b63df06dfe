# Completion port, auto-reset event, tick count, executable memory and threads
# with a chosen stack size: what the thread pool needs from the system.
add_library(melvara_platform_threading STATIC
  completion_port.cpp
  auto_reset_event.cpp
  tick_count.cpp
  exec_memory_posix.cpp
  native_thread_posix.cpp)
target_include_directories(melvara_platform_threading PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(melvara_platform_threading PUBLIC Threads::Threads PRIVATE melvara_common)
