# melvara_app: the main window and start-up (the jobs add their sources in
# jobs.cmake); melvara: main() on top of it.
find_package(Qt6 REQUIRED COMPONENTS Widgets)

add_library(melvara_app STATIC
  directories.cpp
  main_window.cpp
  main_window.h
  main_window.ui
  site_config.cpp
  startup.cpp
  window_controls.cpp)
set_target_properties(melvara_app PROPERTIES AUTOMOC ON AUTOUIC ON)
target_include_directories(melvara_app PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(melvara_app
  PUBLIC melvara_platform_gui melvara_platform_core Qt6::Widgets
  PRIVATE melvara_common)
# Only this file sees the host, so changing it rebuilds one file.
set_property(SOURCE site_config.cpp APPEND PROPERTY
  COMPILE_DEFINITIONS "MELVARA_BUILT_SITE_HOST=\"${MELVARA_SITE_HOST}\"")

add_executable(melvara main.cpp)
target_link_libraries(melvara PRIVATE melvara_common melvara_app melvara_platform_net)
