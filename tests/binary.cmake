# Build-level checks on the production binary itself, on this machine (through the
# emulator in a cross build), where the VIP device node does not exist.
set(avrig_binary_runner "")
if(CMAKE_CROSSCOMPILING)
  set(avrig_binary_runner ${CMAKE_CROSSCOMPILING_EMULATOR})
endif()

add_test(NAME binary.no_vip_device
  COMMAND ${CMAKE_COMMAND} "-DEMULATOR=${avrig_binary_runner}" -DAVRIG=$<TARGET_FILE:avrig>
          -P ${PROJECT_SOURCE_DIR}/cmake/run_without_device.cmake)
set_tests_properties(binary.no_vip_device PROPERTIES SKIP_RETURN_CODE 77)

add_test(NAME binary.no_sim_code
  COMMAND ${CMAKE_COMMAND} -DCHECK=no_sim_code -DAVRIG=$<TARGET_FILE:avrig>
          -DMAP=$<TARGET_FILE:avrig>.map -P ${PROJECT_SOURCE_DIR}/cmake/check_binary.cmake)

# What ships to the target: one static binary within the flash budget.
if(CMAKE_CROSSCOMPILING)
  add_test(NAME binary.static
    COMMAND ${CMAKE_COMMAND} -DCHECK=static -DAVRIG=$<TARGET_FILE:avrig>
            -DREADELF=${CMAKE_READELF} -P ${PROJECT_SOURCE_DIR}/cmake/check_binary.cmake)
endif()
if(AVRIG_SIZE_LIMIT)
  add_test(NAME binary.stripped_size
    COMMAND ${CMAKE_COMMAND} -DCHECK=size -DAVRIG=$<TARGET_FILE:avrig> -DLIMIT=${AVRIG_SIZE_LIMIT}
            -DREADELF=${CMAKE_READELF} -P ${PROJECT_SOURCE_DIR}/cmake/check_binary.cmake)
endif()
