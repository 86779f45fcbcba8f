# The image writers: reference operations, fast rows, the three writers, real decoders.
avrig_unit_test(test_image_color SOURCES test_image_color.cpp LIBS avrig_image avrig_device)
avrig_unit_test(test_image_writers SOURCES test_image_writers.cpp LIBS avrig_memget avrig_image avrig_device)
avrig_unit_test(test_image_decode SOURCES test_image_decode.cpp LIBS avrig_memget avrig_image avrig_device)

