# Icons and metafiles: icon entries, WMF and EMF playback, the metafile writers.
zelk_add_gtest(ico_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/ico_reader_test.cpp
  LIBS zelk_codecs Qt6::Gui)
zelk_add_gtest(metafile_tests SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/metafile_roundtrip_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wmf_playback_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/emf_playback_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/metafile_hostile_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/metafile_cost_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/metafile_reference_test.cpp
  LIBS zelk_codecs Qt6::Gui)
