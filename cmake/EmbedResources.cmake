# Collects the assets that are linked into the executable. Every folder that
# owns an asset registers it with intro_add_resource(); the resources library,
# configured last, turns the list into one assembly file of .incbin blocks and
# a lookup table keyed by (type, identifier).

set_property(GLOBAL PROPERTY INTRO_RESOURCE_ENTRIES "")
set_property(GLOBAL PROPERTY INTRO_RESOURCE_TARGETS "")

# intro_add_resource(<TYPE> <ID> <FILE> [DEPENDS <target>...])
function(intro_add_resource type id file)
    cmake_parse_arguments(PARSE_ARGV 3 ARG "" "" "DEPENDS")
    set_property(GLOBAL APPEND PROPERTY INTRO_RESOURCE_ENTRIES "${type}|${id}|${file}")
    if(ARG_DEPENDS)
        set_property(GLOBAL APPEND PROPERTY INTRO_RESOURCE_TARGETS ${ARG_DEPENDS})
    endif()
endfunction()

# Writes the assembly and the table into the build tree and adds them to <target>.
function(intro_generate_resource_table target)
    get_property(entries GLOBAL PROPERTY INTRO_RESOURCE_ENTRIES)
    get_property(producers GLOBAL PROPERTY INTRO_RESOURCE_TARGETS)
    set(assembly "# Generated: one block per embedded asset.\n")
    set(declarations "")
    set(rows "")
    set(files "")
    set(index 0)
    foreach(entry IN LISTS entries)
        string(REPLACE "|" ";" fields "${entry}")
        list(GET fields 0 type)
        list(GET fields 1 id)
        list(GET fields 2 file)
        set(symbol "intro_resource_${index}")
        if(EMSCRIPTEN)
            # WebAssembly data sections take no flags, and each data symbol
            # needs its size.
            string(APPEND assembly
                "    .section .rodata.${symbol},\"\",@\n"
                "    .p2align 4\n"
                "    .globl ${symbol}_begin\n"
                "    .globl ${symbol}_end\n"
                "${symbol}_begin:\n"
                "    .incbin \"${file}\"\n"
                "${symbol}_end:\n"
                "    .size ${symbol}_begin, ${symbol}_end - ${symbol}_begin\n"
                "    .size ${symbol}_end, 0\n")
        else()
            string(APPEND assembly
                "    .section .rodata.${symbol},\"a\"\n"
                "    .balign 16\n"
                "    .globl ${symbol}_begin\n"
                "    .globl ${symbol}_end\n"
                "${symbol}_begin:\n"
                "    .incbin \"${file}\"\n"
                "${symbol}_end:\n")
        endif()
        string(APPEND declarations
            "extern \"C\" const unsigned char ${symbol}_begin[];\n"
            "extern \"C\" const unsigned char ${symbol}_end[];\n")
        string(APPEND rows "    {\"${type}\", ${id}, ${symbol}_begin, ${symbol}_end},\n")
        list(APPEND files "${file}")
        math(EXPR index "${index} + 1")
    endforeach()
    if(NOT EMSCRIPTEN)
        string(APPEND assembly "    .section .note.GNU-stack,\"\",@progbits\n")
    endif()
    set(table "// Generated: the table of embedded assets.\n#include \"resource_table.h\"\n\n${declarations}\n"
        "const ResourceTableEntry resourceTable[] = {\n${rows}    {nullptr, 0, nullptr, nullptr},\n};\n"
        "const int resourceTableSize = ${index};\n")
    set(assembly_file "${CMAKE_CURRENT_BINARY_DIR}/embedded_assets.S")
    set(table_file "${CMAKE_CURRENT_BINARY_DIR}/embedded_table.cpp")
    file(CONFIGURE OUTPUT "${assembly_file}" CONTENT "${assembly}" @ONLY)
    file(CONFIGURE OUTPUT "${table_file}" CONTENT "${table}" @ONLY)
    # .incbin is invisible to the compiler's dependency scan: declare the files.
    set_source_files_properties("${assembly_file}" PROPERTIES OBJECT_DEPENDS "${files}")
    target_sources(${target} PRIVATE "${assembly_file}" "${table_file}")
    if(producers)
        add_dependencies(${target} ${producers})
    endif()
endfunction()

# Windows: the same registrations become a resource script for windres, added
# to <executable>, so loadResource finds them with FindResourceA. The assets
# carry language 1036; <manifest> is added as RT_MANIFEST 1 in language 1033.
set(INTRO_RESOURCE_LANGUAGE "LANGUAGE 0x0C, 0x01")  # 1036: French (France)
set(INTRO_MANIFEST_LANGUAGE "LANGUAGE 0x09, 0x01")  # 1033: English (United States)
set(INTRO_MANIFEST_TYPE 24)                         # RT_MANIFEST
set(INTRO_MANIFEST_ID 1)                            # the process's own manifest

function(intro_generate_windows_resources executable manifest)
    get_property(entries GLOBAL PROPERTY INTRO_RESOURCE_ENTRIES)
    get_property(producers GLOBAL PROPERTY INTRO_RESOURCE_TARGETS)
    string(CONCAT script "// Generated: one resource per embedded asset, then the manifest.\n"
        "${INTRO_RESOURCE_LANGUAGE}\n")
    set(files "${manifest}")
    foreach(entry IN LISTS entries)
        string(REPLACE "|" ";" fields "${entry}")
        list(GET fields 0 type)
        list(GET fields 1 id)
        list(GET fields 2 file)
        string(APPEND script "${id} ${type} \"${file}\"\n")
        list(APPEND files "${file}")
    endforeach()
    string(APPEND script "\n${INTRO_MANIFEST_LANGUAGE}\n"
        "${INTRO_MANIFEST_ID} ${INTRO_MANIFEST_TYPE} \"${manifest}\"\n")
    set(script_file "${CMAKE_CURRENT_BINARY_DIR}/embedded_assets.rc")
    file(CONFIGURE OUTPUT "${script_file}" CONTENT "${script}" @ONLY)
    # windres reads the files itself: declare them, as for .incbin, where the
    # executable is defined (source properties belong to one folder).
    set_source_files_properties("${script_file}" TARGET_DIRECTORY ${executable} PROPERTIES OBJECT_DEPENDS "${files}")
    target_sources(${executable} PRIVATE "${script_file}")
    if(producers)
        add_dependencies(${executable} ${producers})
    endif()
endfunction()
