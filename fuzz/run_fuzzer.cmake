# Runs one fuzzer for a bounded time on a fresh copy of its seed corpus in the
# build folder, where it also keeps what it finds.
#   cmake -DFUZZER=... -DSEEDS=... -DWORK_DIR=... -DSECONDS=60 [-DOPTIONS=...] -P run_fuzzer.cmake
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR}/corpus ${WORK_DIR}/artifacts)
file(COPY ${SEEDS}/ DESTINATION ${WORK_DIR}/corpus)

# A unit slower than -timeout is a failure, as is one past the memory limit.
execute_process(
  COMMAND ${FUZZER} ${OPTIONS} -max_total_time=${SECONDS} -timeout=60 -rss_limit_mb=2048
          -print_final_stats=1 -artifact_prefix=${WORK_DIR}/artifacts/ ${WORK_DIR}/corpus
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(GLOB artifacts ${WORK_DIR}/artifacts/*)
  message(FATAL_ERROR "${FUZZER} failed (${result}); the input: ${artifacts}")
endif()
