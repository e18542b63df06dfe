# The jobs' rules on their own, then both jobs end to end against the demo site.
melvara_add_test(app_job_rules_tests
  SOURCES song_file_name_test.cpp thread_count_text_test.cpp link_claim_test.cpp
  LIBS melvara_app)

find_package(Qt6 REQUIRED COMPONENTS Test)
melvara_add_test(app_jobs_tests
  SOURCES end_to_end_test.cpp
  LIBS melvara_app melvara_demo_site melvara_platform_net Qt6::Test melvara_gui_test_main
  GUI
  TIMEOUT 180)
# The program's start-up driven like a user who closes the window mid-download;
# app_jobs_tests runs it to see how the process ends.
add_executable(jobs_exit_probe jobs_exit_probe.cpp)
target_link_libraries(jobs_exit_probe PRIVATE melvara_common melvara_app)
add_dependencies(app_jobs_tests jobs_exit_probe)
target_compile_definitions(app_jobs_tests PRIVATE
  MELVARA_JOBS_EXIT_PROBE="$<TARGET_FILE:jobs_exit_probe>")
