# Settings shared by every target of the project: language level, warnings,
# Qt safety macros and the optional sanitizer build.

option(LANTERN_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(LANTERN_TSAN "Build with ThreadSanitizer (not together with LANTERN_SANITIZE)" OFF)

if(LANTERN_SANITIZE AND LANTERN_TSAN)
    message(FATAL_ERROR "LANTERN_SANITIZE and LANTERN_TSAN cannot be combined")
endif()

add_library(lantern_common INTERFACE)
target_compile_features(lantern_common INTERFACE cxx_std_20)
target_compile_options(lantern_common INTERFACE -Wall -Wextra)
target_compile_definitions(lantern_common INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_NO_URL_CAST_FROM_STRING)

if(LANTERN_SANITIZE)
    set(_lantern_san -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    target_compile_options(lantern_common INTERFACE ${_lantern_san})
    target_link_options(lantern_common INTERFACE ${_lantern_san})
endif()
if(LANTERN_TSAN)
    target_compile_options(lantern_common INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
    target_link_options(lantern_common INTERFACE -fsanitize=thread)
endif()

# Everything the program needs at run time lies beside its program file, in
# the build tree as in an installed tree: the reading module, the language
# resources and the skin images.
set(LANTERN_RUNTIME_DIR "${CMAKE_BINARY_DIR}/bin")
set(LANTERN_INSTALL_DIR "${CMAKE_INSTALL_LIBDIR}/lantern")
