find_package(Qt6 REQUIRED COMPONENTS Test)

melvara_add_test(app_window_tests
  SOURCES main_window_test.cpp window_controls_test.cpp directories_test.cpp site_config_test.cpp
  LIBS melvara_app Qt6::Test melvara_gui_test_main
  GUI)
# The test checks that the build setting reaches the program unchanged.
target_compile_definitions(app_window_tests PRIVATE
  MELVARA_EXPECTED_SITE_HOST="${MELVARA_SITE_HOST}")
