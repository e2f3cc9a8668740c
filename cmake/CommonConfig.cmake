# Settings every target of the program shares.
add_library(velmora_common INTERFACE)
target_compile_features(velmora_common INTERFACE cxx_std_20)
target_compile_options(velmora_common INTERFACE -Wall -Wextra -Wpedantic)
target_compile_definitions(velmora_common INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "" FORCE)
endif()

# The whole program and its tests under AddressSanitizer and
# UndefinedBehaviorSanitizer (scripts/test.sh with VELMORA_SANITIZE=1). Every
# undefined behaviour stops the run; Qt itself is not instrumented.
option(VELMORA_SANITIZE "Build everything with -fsanitize=address,undefined" OFF)
if(VELMORA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined)
endif()

# libFuzzer targets under fuzz/ (scripts/fuzz.sh): clang only. The code they
# reach is instrumented for coverage and checked by the same sanitizers.
option(VELMORA_FUZZ "Build the libFuzzer targets under fuzz/ (clang)" OFF)
if(VELMORA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "VELMORA_FUZZ needs clang (CXX=clang++-14)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined)
endif()
