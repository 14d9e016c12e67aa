# The password hook and display mode runs of the real gyrofold.scr. Each runs
# alone: they share the settings key, the desktop password value and the one
# pointer with every other run of the saver.
include_guard(GLOBAL)

foreach(name password_e2e display_mode_e2e)
    add_executable(${name} ${CMAKE_CURRENT_LIST_DIR}/${name}.cpp)
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
    target_link_libraries(${name} PRIVATE gyrofold_e2e_support gyrofold_test_support gtest)
    # The runs find the saver and the fakes from here: <build>/tests/e2e.
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/e2e)
    add_dependencies(${name} gyrofold fake_password_cpl fake_mpr fake_mpr_without_change)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES RUN_SERIAL TRUE TIMEOUT 600)
endforeach()
target_link_libraries(password_e2e PRIVATE gtest_main)
