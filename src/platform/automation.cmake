# melvara_platform_automation: the automation objects the program creates by
# name, "VBScript.RegExp" (on PCRE2, 16-bit) and "Adodb.Stream" (on iconv).
pkg_check_modules(PCRE2_16 REQUIRED IMPORTED_TARGET libpcre2-16)

add_library(melvara_platform_automation STATIC reg_exp_pcre2.cpp text_stream_iconv.cpp)
target_include_directories(melvara_platform_automation PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(melvara_platform_automation
  PUBLIC melvara_platform_core
  PRIVATE melvara_common PkgConfig::PCRE2_16)
