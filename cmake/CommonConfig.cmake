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
