if(ZELK_SANITIZE)
  # float-cast-overflow is not part of "undefined" but guards every float-to-int
  # conversion of coordinates, which hostile metafiles and print sizes can push far out.
  set(ZELK_SANITIZERS address,undefined,float-cast-overflow)
  add_compile_options(-fsanitize=${ZELK_SANITIZERS} -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined,float-cast-overflow)
  add_link_options(-fsanitize=${ZELK_SANITIZERS})
endif()

# zelk_uninstrumented(<target>): the target's own sources (tests, fuzz harnesses) are
# compiled without sanitizer checks; it still links the sanitizer runtimes, and all of
# the program's code it calls is instrumented. Checking the test code itself would
# double the sanitized build's time for little: the faults worth finding are in the
# program.
function(zelk_uninstrumented target)
  if(ZELK_SANITIZE)
    target_compile_options(${target} PRIVATE -fno-sanitize=all)
  endif()
endfunction()
