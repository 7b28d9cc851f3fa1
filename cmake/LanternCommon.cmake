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

# A companion's texts: the English `file_name` of the calling folder goes
# beside the programs, and each of its Language/<CODE>/`file_name` to
# Language/<CODE>/ there; the target `target` copies them at build time, and
# they are installed the same way.
function(lantern_language_sets target file_name)
    set(outputs "${LANTERN_RUNTIME_DIR}/${file_name}")
    add_custom_command(OUTPUT "${LANTERN_RUNTIME_DIR}/${file_name}"
        COMMAND ${CMAKE_COMMAND} -E copy_if_different "${CMAKE_CURRENT_SOURCE_DIR}/${file_name}"
                "${LANTERN_RUNTIME_DIR}/${file_name}"
        DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/${file_name}")
    install(FILES "${CMAKE_CURRENT_SOURCE_DIR}/${file_name}" DESTINATION "${LANTERN_INSTALL_DIR}")
    file(GLOB sets CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/Language/*/${file_name}")
    foreach(set_file IN LISTS sets)
        get_filename_component(set_dir "${set_file}" DIRECTORY)
        get_filename_component(code "${set_dir}" NAME)
        set(out "${LANTERN_RUNTIME_DIR}/Language/${code}/${file_name}")
        add_custom_command(OUTPUT "${out}"
            COMMAND ${CMAKE_COMMAND} -E copy_if_different "${set_file}" "${out}"
            DEPENDS "${set_file}")
        list(APPEND outputs "${out}")
        install(FILES "${set_file}" DESTINATION "${LANTERN_INSTALL_DIR}/Language/${code}")
    endforeach()
    add_custom_target(${target} ALL DEPENDS ${outputs})
endfunction()
