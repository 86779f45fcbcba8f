# Runs the production avrig on a machine without the VIP driver and checks that it
# refuses the way the target's shell scripts rely on: the fixed message and exit status
# 255 (-1 from main).
#   cmake -DAVRIG=<binary> [-DEMULATOR=<runner;args>] -P run_without_device.cmake
# Exits with 77 (skipped) where the device node does exist.
if(EXISTS /dev/zorvip)
  message("/dev/zorvip exists here: nothing to check")
  cmake_language(EXIT 77)
endif()

execute_process(
  COMMAND ${EMULATOR} ${AVRIG}
  RESULT_VARIABLE status
  OUTPUT_VARIABLE out
  ERROR_VARIABLE err
  TIMEOUT 60)

set(problems "")
if(NOT status STREQUAL "255")
  string(APPEND problems "exit status: expected 255, got \"${status}\"\n")
endif()
if(NOT out STREQUAL "open vip driver error!!\n")
  string(APPEND problems "standard output: expected \"open vip driver error!!\\n\", got \"${out}\"\n")
endif()
if(problems)
  message(FATAL_ERROR "${EMULATOR} ${AVRIG}\n${problems}standard error: \"${err}\"")
endif()
