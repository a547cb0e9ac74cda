# Section 1 manual pages, written at build time from each tool's own --help
# and --version output (tools/manual_pages/help_to_man.py), into
# <build>/man/man1/, and installed with the tool's component.
set(INTRO_MANUAL_PAGE_FOLDER "${PROJECT_BINARY_DIR}/man/man1")
find_package(Python3 COMPONENTS Interpreter QUIET)

# intro_add_manual_page(<tool target> "<one-line summary>" COMPONENT <component>)
function(intro_add_manual_page tool summary)
    cmake_parse_arguments(PARSE_ARGV 2 page "" "COMPONENT" "")
    # A cross build cannot run its tools; the native build writes the pages.
    # The sanitizer builds test the tools, they do not install them.
    if(CMAKE_CROSSCOMPILING OR INTRO_SANITIZE OR NOT Python3_Interpreter_FOUND)
        return()
    endif()
    set(generator "${PROJECT_SOURCE_DIR}/tools/manual_pages/help_to_man.py")
    set(page "${INTRO_MANUAL_PAGE_FOLDER}/${tool}.1")
    # SEE ALSO names only pages shipped beside this one: the tools package
    # holds the three song tools; capture_video comes in the tarball with all.
    if(page_COMPONENT STREQUAL "tools")
        set(see_also xm2wav songplayer trace_dump)
    else()
        set(see_also xm2wav songplayer trace_dump capture_video)
    endif()
    list(REMOVE_ITEM see_also ${tool})
    add_custom_command(
        OUTPUT "${page}"
        COMMAND "${CMAKE_COMMAND}" -E make_directory "${INTRO_MANUAL_PAGE_FOLDER}"
        COMMAND Python3::Interpreter "${generator}" "$<TARGET_FILE:${tool}>" "${summary}"
                "${INTRO_SOURCE_DATE_EPOCH}" "${page}" ${see_also}
        DEPENDS ${tool} "${generator}"
        COMMENT "Writing the manual page of ${tool}"
        VERBATIM)
    add_custom_target(${tool}_manual_page ALL DEPENDS "${page}")
    install(FILES "${page}" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1" COMPONENT ${page_COMPONENT})
endfunction()
