# Asset generators run at build time, so they must run on the build machine.
# A native build exports each generator; a cross build imports them from a
# native build folder (INTRO_HOST_TOOLS_DIR), so its assets come out byte for
# byte as the native build makes them.

set(INTRO_HOST_TOOLS_DIR "" CACHE PATH "Native build folder whose asset generators a cross build runs")

# intro_import_host_tool(<name> <result-variable>): in a cross build, imports
# <name> from the native build and sets <result-variable> to TRUE; otherwise
# sets it to FALSE and the caller builds the tool (and exports it).
function(intro_import_host_tool name result)
    if(NOT CMAKE_CROSSCOMPILING)
        set(${result} FALSE PARENT_SCOPE)
        return()
    endif()
    set(export_file "${INTRO_HOST_TOOLS_DIR}/host-tools/${name}.cmake")
    if(NOT EXISTS "${export_file}")
        message(FATAL_ERROR "A cross build runs the native ${name}: configure a native build and pass its folder "
                            "as INTRO_HOST_TOOLS_DIR (${export_file} not found)")
    endif()
    include("${export_file}")
    set(${result} TRUE PARENT_SCOPE)
endfunction()

# intro_export_host_tool(<name>): lets cross builds run this build's <name>.
function(intro_export_host_tool name)
    export(TARGETS ${name} FILE "${CMAKE_BINARY_DIR}/host-tools/${name}.cmake")
endfunction()
