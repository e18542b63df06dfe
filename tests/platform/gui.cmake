find_package(Qt6 REQUIRED COMPONENTS Test)

melvara_add_test(platform_gui_tests
  SOURCES gui_window_thread_gate_test.cpp gui_message_pump_test.cpp gui_message_box_test.cpp
  LIBS melvara_platform_gui Qt6::Test melvara_gui_test_main
  GUI)
