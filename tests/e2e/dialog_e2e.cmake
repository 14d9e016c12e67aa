# The settings dialog of the real gyrofold.scr, driven from outside. It shares
# the settings key and the screen with every other run of the saver.
add_executable(dialog_e2e ${CMAKE_CURRENT_LIST_DIR}/dialog_e2e.cpp)
target_link_libraries(dialog_e2e PRIVATE gyrofold_e2e_support gyrofold_test_support gtest comctl32)
set_target_properties(dialog_e2e PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/e2e)
add_dependencies(dialog_e2e gyrofold)
add_test(NAME dialog_e2e COMMAND dialog_e2e $<TARGET_FILE:gyrofold> ${CMAKE_BINARY_DIR}/artifacts)
set_tests_properties(dialog_e2e PROPERTIES RUN_SERIAL TRUE TIMEOUT 600)
