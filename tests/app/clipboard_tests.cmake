# What the clipboard offers after the image is copied, offscreen.
zelk_add_gtest(clipboard_image_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/clipboard_image_test.cpp
               LIBS zelk_app)
# The Qt file dialogs: starting folder and filter captions.
zelk_add_gtest(file_dialog_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/file_dialogs_test.cpp
               LIBS zelk_app)
