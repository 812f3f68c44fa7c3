# Warnings, sanitizers and the libFuzzer instrumentation, applied per target so that
# third-party code found through find_package is left alone.

set(MAILSIFT_SANITIZER_FLAGS "")
if(MAILSIFT_SANITIZE)
  list(APPEND MAILSIFT_SANITIZER_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer
       -fno-sanitize-recover=undefined)
endif()
if(MAILSIFT_LIBFUZZER)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "MAILSIFT_LIBFUZZER needs clang (use the 'fuzz' preset)")
  endif()
  list(APPEND MAILSIFT_SANITIZER_FLAGS -fsanitize=fuzzer-no-link,address,undefined
       -fno-omit-frame-pointer)
endif()
if(MAILSIFT_SANITIZER_FLAGS)
  add_compile_options(${MAILSIFT_SANITIZER_FLAGS})
  add_link_options(${MAILSIFT_SANITIZER_FLAGS})
endif()

function(mailsift_set_compile_options target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                           -Wno-sign-conversion)
  if(MAILSIFT_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
