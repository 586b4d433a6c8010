# Prompt dialog: history, keys, sizing and the desktop fall-backs, offscreen.
zelk_add_gtest(prompt_dialog_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/prompt_dialog_test.cpp LIBS zelk_app)
