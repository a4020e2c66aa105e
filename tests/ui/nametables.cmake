kestrow_add_test(test_nametables SOURCES test_nametables.cpp LIBS kestrow_ui)
