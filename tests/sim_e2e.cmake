# The whole tool against the simulated target.
if(TARGET avrig_sim)
  avrig_sim_test(test_control_sim test_control_sim.cpp)
  avrig_sim_test(test_capture_sim test_capture_sim.cpp)
endif()
if(TARGET avrig_sim)
  avrig_sim_test(test_trace_record test_trace_record.cpp)
endif()
