# The request and word tables refuse, at build time, a fault that would otherwise pass
# every test: each case compiles a copy with one fault and expects the named error.
foreach(fault code_without_row codes_equal type_and_number_equal word_twice word_behind_prefix)
  add_test(NAME tables.refuse_${fault}
    COMMAND ${CMAKE_COMMAND} -DFAULT=${fault} -DCXX=${CMAKE_CXX_COMPILER} -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
            -DWORK=${CMAKE_CURRENT_BINARY_DIR}/table_faults/${fault} -P ${PROJECT_SOURCE_DIR}/cmake/compile_fault.cmake)
endforeach()
