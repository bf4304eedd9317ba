# Converts the shipped example into headers and makes its charts from its scans:
#   cmake -DHDRMILL=... -DCALIBRATION=... -DOUT=... -P run_example.cmake
# The sketch chart has no scan and a calibration that cannot place it, so the chart
# run refuses it and ends with status 1, as it should; any other status is a failure.
file(MAKE_DIRECTORY ${OUT}/example-headers ${OUT}/example-charts)
execute_process(COMMAND ${HDRMILL} ${CALIBRATION} WORKING_DIRECTORY ${OUT}/example-headers RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "converting the example ended with status ${status}")
endif()
execute_process(COMMAND ${HDRMILL} -k ${CALIBRATION} WORKING_DIRECTORY ${OUT}/example-charts RESULT_VARIABLE status)
if(NOT status EQUAL 1 OR NOT EXISTS ${OUT}/example-charts/Harbour.KAP)
    message(FATAL_ERROR "making the example's charts ended with status ${status}")
endif()
message(STATUS "Headers in ${OUT}/example-headers, charts in ${OUT}/example-charts")
