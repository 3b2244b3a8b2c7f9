# Builds the two probes: the include of a lower library must compile, the include of an upper
# one must fail because the header is not found (not for any other reason).
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target layering_probe_right
                RESULT_VARIABLE right_result OUTPUT_VARIABLE right_out ERROR_VARIABLE right_out)
if(NOT right_result EQUAL 0)
  message(FATAL_ERROR "The include of a lower library does not compile:\n${right_out}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target layering_probe_wrong
                RESULT_VARIABLE wrong_result OUTPUT_VARIABLE wrong_out ERROR_VARIABLE wrong_out)
if(wrong_result EQUAL 0)
  message(FATAL_ERROR "A lower library could include a header of an upper one")
endif()
if(NOT wrong_out MATCHES "wavefiles/frmWaveFiles.h: No such file")
  message(FATAL_ERROR "The upward include failed for another reason:\n${wrong_out}")
endif()
message(STATUS "upward include refused: wavefiles/frmWaveFiles.h not found")
