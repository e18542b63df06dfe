# Code pages, COM counter, message pump, exit routines and the file system.
# iconv comes with glibc, so nothing extra is linked.
add_library(melvara_platform_core STATIC
  codepage_iconv.cpp
  com.cpp
  message_pump.cpp
  exit_routines.cpp
  file_system_posix.cpp)
target_include_directories(melvara_platform_core PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(melvara_platform_core PRIVATE melvara_common)
