# The settings dialog of the real gyrofold.scr, driven from outside with real
# keystrokes and clicks. Included from tests/e2e/CMakeLists.txt after
# gyrofold_e2e_groups: one ctest entry per group, each run alone, since they
# share the settings key, the screen, the keyboard focus and the pointer.
add_executable(dialog_e2e ${CMAKE_CURRENT_LIST_DIR}/dialog_e2e.cpp)
target_link_libraries(dialog_e2e PRIVATE gyrofold_e2e_support gyrofold_test_support gtest comctl32)
set_target_properties(dialog_e2e PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/e2e)
add_dependencies(dialog_e2e gyrofold)
gyrofold_e2e_groups(dialog_e2e dialog_e2e GROUPS
    shows "DialogE2E.DefaultSettings*:DialogE2E.StoredSettings*:DialogE2E.SavedValues*:DialogE2E.MotionSettings*:DialogE2E.NotANumber*:DialogE2E.MovedSliders*"
    scales "DialogE2E.Scale*:Texts/ScaleFieldE2E.*"
    fields "Sizes/SizeFieldE2E.*:DialogE2E.NumberFields*:Depths/BitDepthE2E.*:DialogE2E.DepthTyped*:Counts/BlurCountE2E.*"
    closing "Ways/CancelE2E.*:DialogE2E.EnterInAField*:DialogE2E.Browse*:DialogE2E.CancelledChooser*:DialogE2E.FileName*"
    template "DialogE2E.EveryControl*:DialogE2E.TabVisits*:DialogE2E.EditedDialog*"
    modes "Arguments/SettingsModeE2E.*:DialogE2E.OwnerThatIsNoWindow*"
    round_trip "ColourModes/RoundTripE2E.*")
