# Runs one fuzz target for SECONDS over a fresh copy of its seed corpus, so the corpus in
# the repository never takes in what the run finds. Fails when the target finds a fault.
#   cmake -DFUZZER=<program> -DSEEDS=<seed dir> -DWORK=<scratch dir> -DSECONDS=<n> -P runfuzzer.cmake
foreach(var FUZZER SEEDS WORK SECONDS)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "runfuzzer.cmake: ${var} not set")
  endif()
endforeach()
if(NOT EXISTS "${FUZZER}")
  message(FATAL_ERROR "No fuzz target at ${FUZZER}; build the main project first")
endif()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/corpus" "${WORK}/artifacts")
file(GLOB seeds "${SEEDS}/*")
if(NOT seeds)
  message(FATAL_ERROR "No seeds in ${SEEDS}")
endif()
file(COPY ${seeds} DESTINATION "${WORK}/corpus")

# The wall-clock limit only catches a target that hangs outside libFuzzer's own timer.
math(EXPR limit "${SECONDS} + 60")
execute_process(
  COMMAND "${FUZZER}"
    -max_total_time=${SECONDS}
    -max_len=4096
    -timeout=10
    -rss_limit_mb=2048
    -print_final_stats=1
    -artifact_prefix=${WORK}/artifacts/
    "${WORK}/corpus"
  WORKING_DIRECTORY "${WORK}"
  RESULT_VARIABLE rc
  TIMEOUT ${limit})
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${FUZZER} failed (${rc}); the input that did it is in ${WORK}/artifacts")
endif()
