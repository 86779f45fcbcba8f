# The image writers: reference operations, fast rows, the three writers, real decoders.
avrig_unit_test(test_image_color SOURCES test_image_color.cpp LIBS avrig_image avrig_device)
avrig_unit_test(test_image_writers SOURCES test_image_writers.cpp LIBS avrig_image avrig_device)
avrig_unit_test(test_image_decode SOURCES test_image_decode.cpp LIBS avrig_image avrig_device)

# Not a test: the callgrind driver for the writers' instructions per pixel.
add_executable(image_bench EXCLUDE_FROM_ALL image_bench.cpp $<TARGET_OBJECTS:avrig_fake_seam>)
target_link_libraries(image_bench PRIVATE avrig_image avrig_device)
