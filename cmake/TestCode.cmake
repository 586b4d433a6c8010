# zelk_test_code(<target>): compile options for the tests' own sources (tests, fuzz
# harnesses, their tools). Most of the build's time goes into them, and none of them
# runs long, so they are built unoptimised with line tables only, which halves their
# compile time. In the sanitized build they are also left without sanitizer checks:
# they still link the sanitizer runtimes, and all of the program's code they call is
# instrumented - the faults worth finding are there.
function(zelk_test_code target)
  target_compile_options(${target} PRIVATE -O0 -g1)
  if(ZELK_SANITIZE)
    target_compile_options(${target} PRIVATE -fno-sanitize=all)
  endif()
endfunction()
