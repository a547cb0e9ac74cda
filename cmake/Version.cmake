# The release version: the project version, with `git describe` appended when
# the commit is not the release's tag (v<project version>), for example
# 1.0.0+3.g445a5d1 three commits after v1.0.0 or 1.0.0+g445a5d1 before any tag.
# Every --version, versionString(), package name and manual page takes it
# from INTRO_VERSION. Also sets INTRO_SOURCE_DATE_EPOCH, the last commit's
# time, which release archives and manual pages use as their date.
set(INTRO_VERSION "${PROJECT_VERSION}")
set(INTRO_SOURCE_DATE_EPOCH "0")
find_package(Git QUIET)
if(GIT_FOUND AND EXISTS "${PROJECT_SOURCE_DIR}/.git")
    execute_process(COMMAND "${GIT_EXECUTABLE}" describe --tags --match "v[0-9]*" --long
                    WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}" OUTPUT_VARIABLE described
                    RESULT_VARIABLE described_status OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(NOT described_status EQUAL 0)
        execute_process(COMMAND "${GIT_EXECUTABLE}" describe --always --abbrev=7
                        WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}" OUTPUT_VARIABLE described
                        OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        set(described "none-0-g${described}")
    endif()
    # <tag>-<commits since>-g<hash>; uncommitted changes are not seen (the
    # version describes the commit).
    if(described MATCHES "^(.*)-([0-9]+)-g([0-9a-f]+)$")
        set(tag "${CMAKE_MATCH_1}")
        set(since "${CMAKE_MATCH_2}")
        set(hash "${CMAKE_MATCH_3}")
        if(NOT tag STREQUAL "v${PROJECT_VERSION}")
            string(APPEND INTRO_VERSION "+g${hash}")
        elseif(since GREATER 0)
            string(APPEND INTRO_VERSION "+${since}.g${hash}")
        endif()
    endif()
    execute_process(COMMAND "${GIT_EXECUTABLE}" log -1 --format=%ct
                    WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}" OUTPUT_VARIABLE INTRO_SOURCE_DATE_EPOCH
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    # A new commit, checkout or tag configures again, so the version follows.
    foreach(git_file HEAD logs/HEAD packed-refs)
        execute_process(COMMAND "${GIT_EXECUTABLE}" rev-parse --path-format=absolute --git-path "${git_file}"
                        WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}" OUTPUT_VARIABLE git_path
                        OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        if(git_path AND EXISTS "${git_path}")
            set_property(DIRECTORY "${PROJECT_SOURCE_DIR}" APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${git_path}")
        endif()
    endforeach()
endif()
message(STATUS "intro version ${INTRO_VERSION}")

# For the sources: build/generated/intro_version.h.
configure_file("${CMAKE_CURRENT_LIST_DIR}/intro_version.h.in" "${PROJECT_BINARY_DIR}/generated/intro_version.h" @ONLY)
# For scripts/make-dist.sh: the version and the date its archives carry.
file(CONFIGURE OUTPUT "${PROJECT_BINARY_DIR}/release.env"
     CONTENT "INTRO_VERSION=${INTRO_VERSION}\nSOURCE_DATE_EPOCH=${INTRO_SOURCE_DATE_EPOCH}\n")
