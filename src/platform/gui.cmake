# melvara_platform_gui: the GUI toolkit stand-ins (Qt Widgets): running code on
# the window's thread, the message pump, the message box, GBK <-> QString.
find_package(Qt6 REQUIRED COMPONENTS Widgets)

add_library(melvara_platform_gui STATIC
  gui_message_box.cpp
  gui_message_pump.cpp
  gui_text.cpp
  gui_window_thread_gate.cpp)
target_include_directories(melvara_platform_gui PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(melvara_platform_gui
  PUBLIC Qt6::Widgets melvara_platform_core
  PRIVATE melvara_common)
target_compile_definitions(melvara_platform_gui PUBLIC QT_NO_CAST_FROM_ASCII)
