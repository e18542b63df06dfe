# Compile settings every target of the project shares.
add_library(melvara_common INTERFACE)
target_compile_features(melvara_common INTERFACE cxx_std_20)
target_compile_options(melvara_common INTERFACE
  -Wall -Wextra -Werror -pedantic -Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual)

if(MELVARA_SANITIZE)
  target_compile_options(melvara_common INTERFACE -fsanitize=${MELVARA_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  target_link_options(melvara_common INTERFACE -fsanitize=${MELVARA_SANITIZE})
endif()

if(MELVARA_CLANG_TIDY)
  find_program(CLANG_TIDY_EXE NAMES clang-tidy REQUIRED)
  set(CMAKE_CXX_CLANG_TIDY ${CLANG_TIDY_EXE})
endif()

# melvara_add_test(<name> SOURCES ... LIBS ... [GUI] [TIMEOUT s])
# One GoogleTest executable; each TEST becomes its own ctest entry. GUI tests run
# on Qt's offscreen platform so they need no display.
function(melvara_add_test name)
  cmake_parse_arguments(ARG "GUI" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE melvara_common GTest::gtest GTest::gmock ${ARG_LIBS})
  if(NOT ARG_LIBS MATCHES "_test_main")
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  set(env "")
  if(ARG_GUI)
    list(APPEND env "QT_QPA_PLATFORM=offscreen")
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "${env}")
endfunction()
