# The burner's tests: its real window, driven offscreen, writing to libburn's
# stdio: drives (regular files that stand for a drive).
find_program(LANTERN_GENISOIMAGE genisoimage REQUIRED)
lantern_add_test(test_burner WIDGETS
    SOURCES burner/test_burner.cpp burner/BurnerFixtures.h
    LIBS lantern_burner Qt6::Test
    DEFS LANTERN_GENISOIMAGE="${LANTERN_GENISOIMAGE}" LANTERN_BURNER="$<TARGET_FILE:Ardent8>"
    DEPS Ardent8 lantern_art lantern_burner_language)
