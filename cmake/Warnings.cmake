# One warning policy for both toolchains.
add_compile_options(-Wall -Wextra -Werror)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # Record layouts are pinned with static_asserts; offsetof on them is fine.
  add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-Wno-invalid-offsetof>)
endif()
if(WIN32)
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  # No runtime DLL travels with the binaries.
  add_link_options(-static -static-libgcc -static-libstdc++)
endif()
