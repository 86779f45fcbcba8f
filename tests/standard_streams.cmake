# The standard descriptors at both ends of a run, end to end.
if(TARGET avrig_sim)
  avrig_sim_test(test_standard_streams test_standard_streams.cpp)
endif()
