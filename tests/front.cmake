# The option walk, its parsers and the register-access layer, against the fake seam.
avrig_unit_test(test_parsers SOURCES test_parsers.cpp LIBS avrig_front)
avrig_unit_test(test_mmio SOURCES test_mmio.cpp LIBS avrig_memget)
avrig_unit_test(test_walk SOURCES test_walk.cpp LIBS avrig_front)
avrig_unit_test(test_path_policy SOURCES test_path_policy.cpp LIBS avrig_device)
