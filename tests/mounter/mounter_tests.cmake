# Fenmount's tests: the real window offscreen against a stand-in udisks2
# (udisks2_mock.py under python3-dbusmock) on a private bus.
find_package(Qt6 REQUIRED COMPONENTS DBus)

lantern_add_test(test_mounter WIDGETS
    SOURCES mounter/test_mounter.cpp mounter/MockUDisks.h
    LIBS lantern_mounter Qt6::Test Qt6::DBus)
target_compile_definitions(test_mounter PRIVATE
    FENMOUNT_UDISKS_MOCK="${CMAKE_CURRENT_SOURCE_DIR}/mounter/udisks2_mock.py"
    LANTERN_MOUNTER="$<TARGET_FILE:Fenmount>")
add_dependencies(test_mounter Fenmount)

# The window with one image mounted, on a real display (run by hand:
# xvfb-run mounter_screens docs/screenshots).
add_executable(mounter_screens mounter/mounter_screens.cpp)
target_link_libraries(mounter_screens PRIVATE lantern_common lantern_mounter Qt6::DBus)
target_include_directories(mounter_screens PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}/support")
target_compile_definitions(mounter_screens PRIVATE
    LANTERN_TEST_RUNTIME_DIR="${LANTERN_RUNTIME_DIR}"
    FENMOUNT_UDISKS_MOCK="${CMAKE_CURRENT_SOURCE_DIR}/mounter/udisks2_mock.py")
set_target_properties(mounter_screens PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}")
add_dependencies(mounter_screens Fenmount)
