# Tests of src/core/view, src/core/inspect, src/core/colour and src/core/compare.
zelk_add_gtest(view_tests
  SOURCES view_geometry_test.cpp pan_and_box_test.cpp view_blit_test.cpp readout_status_svg_test.cpp
    view_mapping_test.cpp whole_zoom_test.cpp viewport_test.cpp
  LIBS zelk_core)
zelk_add_gtest(colour_tests SOURCES colour_names_test.cpp LIBS zelk_core)
zelk_add_gtest(inspect_tests SOURCES inspect_test.cpp LIBS zelk_core)
zelk_add_gtest(compare_tests SOURCES compare_test.cpp LIBS zelk_core)
