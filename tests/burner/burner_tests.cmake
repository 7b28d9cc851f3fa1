# The burner's tests: its real window, driven offscreen, writing to libburn's
# stdio: drives (regular files that stand for a drive).
find_program(LANTERN_GENISOIMAGE genisoimage REQUIRED)

lantern_add_test(test_burner WIDGETS
    SOURCES burner/test_burner.cpp burner/BurnerFixtures.h
    LIBS lantern_burner Qt6::Test)
target_compile_definitions(test_burner PRIVATE
    LANTERN_GENISOIMAGE="${LANTERN_GENISOIMAGE}"
    LANTERN_BURNER="$<TARGET_FILE:Ardent8>")
add_dependencies(test_burner Ardent8 lantern_art lantern_burner_language)

# Screenshots of the burner on a real display (run by hand:
# xvfb-run -a -s '-screen 0 1100x700x24' burner_screens docs/screenshots).
add_executable(burner_screens burner/burner_screens.cpp burner/BurnerFixtures.h)
target_link_libraries(burner_screens PRIVATE lantern_common lantern_burner Qt6::Test)
target_include_directories(burner_screens PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}/burner")
target_compile_definitions(burner_screens PRIVATE
    LANTERN_TEST_RUNTIME_DIR="${LANTERN_RUNTIME_DIR}"
    LANTERN_GENISOIMAGE="${LANTERN_GENISOIMAGE}")
set_target_properties(burner_screens PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}")
add_dependencies(burner_screens Ardent8 lantern_art lantern_burner_language)
