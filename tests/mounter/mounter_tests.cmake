# Fenmount's tests: the real window offscreen against a stand-in udisks2
# (udisks2_mock.py under python3-dbusmock) on a private bus.
find_package(Qt6 REQUIRED COMPONENTS DBus)
lantern_add_test(test_mounter WIDGETS
    SOURCES mounter/test_mounter.cpp mounter/MockUDisks.h
    LIBS lantern_mounter Qt6::Test Qt6::DBus
    DEFS FENMOUNT_UDISKS_MOCK="${CMAKE_CURRENT_SOURCE_DIR}/mounter/udisks2_mock.py"
         LANTERN_MOUNTER="$<TARGET_FILE:Fenmount>"
    DEPS Fenmount)
