# The simulated target: its model driven in-process through the seam, and avrig-sim run
# whole as a shell runs it.
set(avrig_default_target_file "${PROJECT_SOURCE_DIR}/sim/targets/default.target")

add_executable(test_sim_model test_sim_target.cpp test_sim_memory.cpp test_sim_seam.cpp
               $<TARGET_OBJECTS:avrig_sim>)
target_link_libraries(test_sim_model PRIVATE avrig_front avrig_test_support GTest::gtest_main)
target_compile_definitions(test_sim_model PRIVATE AVRIG_DEFAULT_TARGET_FILE="${avrig_default_target_file}")
gtest_discover_tests(test_sim_model DISCOVERY_TIMEOUT 60)

avrig_sim_test(test_sim_run test_sim_run.cpp)
