# Serial port and port discovery tests. They use only the recorder and ports folder of
# tests/common/TestBox.h, so BoxSim.h is on the include path but the box is not linked.
kestrow_add_test(test_serialport SOURCES test_serialport.cpp LIBS kestrow_device)
kestrow_add_test(test_serialline SOURCES test_serialline.cpp LIBS kestrow_device)
kestrow_add_test(test_discovery SOURCES test_discovery.cpp LIBS kestrow_device)
foreach(serial_test test_serialport test_serialline test_discovery)
    target_include_directories(${serial_test} PRIVATE ${CMAKE_SOURCE_DIR}/sim)
endforeach()
