# Project-wide compile options: warnings, and the sanitizer builds CI runs.
add_compile_options(-Wall -Wextra -Wshadow -Wformat=2 -Wno-format-nonliteral)
if(QOR_WARNINGS_AS_ERRORS)
  add_compile_options(-Werror)
endif()
# QOR_SANITIZER_FLAGS: also for programs built against this build's installed libraries, which need its runtime.
set(QOR_SANITIZER_FLAGS "")
if(QOR_SANITIZE)
  set(QOR_SANITIZER_FLAGS -fsanitize=address,undefined)
  add_compile_options(${QOR_SANITIZER_FLAGS} -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(${QOR_SANITIZER_FLAGS})
endif()
if(QOR_TSAN)
  set(QOR_SANITIZER_FLAGS -fsanitize=thread)
  add_compile_options(${QOR_SANITIZER_FLAGS} -fno-omit-frame-pointer)
  add_link_options(${QOR_SANITIZER_FLAGS})
endif()
# Shared libraries resolve every symbol at link time, so a missing one fails the build, not the caller.
add_link_options($<$<STREQUAL:$<TARGET_PROPERTY:TYPE>,SHARED_LIBRARY>:-Wl,--no-undefined>)
